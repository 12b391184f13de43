// What the host's command service reaches: the DPI scale, the main window and
// its maximised state, the dialogs and the log folder. One per host, owned by
// the host application.
#ifndef PIXBRIDGE_HOST_HOST_CONTEXT_H
#define PIXBRIDGE_HOST_HOST_CONTEXT_H

#include "host_dialogs.h"

#include <QRect>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class DesktopNotices;
class QWidget;

// The main window as the commands see it.
class MainWindowControl {
public:
    virtual ~MainWindowControl() = default;
    virtual QRect MainGeometry() const = 0;
    // The work area of the screen the window is on, its origin included.
    virtual QRect WorkArea() const = 0;
    // Places and shows the window; the view inside follows.
    virtual void PlaceMain(const QRect& rect) = 0;
    // True where a window manager or compositor maximises and restores
    // (ShowMaximised); false where the host places the window itself.
    virtual bool WindowSystemMaximises() const = 0;
    // Qt's window states: maximised, or back to the normal rectangle. The
    // state asked for is the one the title bar is told in the answer.
    virtual void ShowMaximised(bool maximised) = 0;
    virtual bool IsMaximised() const = 0;
    virtual QWidget* MainView() const = 0;
    virtual void Minimise() = 0;
    // The close protocol, as the window manager's close runs it; false when
    // a module refused.
    virtual bool RequestClose() = 0;
};

// Where a rectangle remembered in one work area goes back to when the window
// is now in `area`: unchanged on the same screen, else at the same offset in
// the new area, its size kept within it.
QRect RestoredRect(const QRect& remembered, const QRect& rememberedArea, const QRect& area);

class HostContext {
public:
    HostContext();
    ~HostContext();
    // The host's instance.
    static HostContext& Get();

    float DpiScale() const { return dpiScale_.load(); }
    void SetDpiScale(float scale) { dpiScale_.store(scale); }
    // scaled(n): n times the DPI scale, truncated toward zero.
    int Scaled(int n) const { return static_cast<int>(n * DpiScale()); }

    MainWindowControl* Window() const { return window_.load(); }
    void SetWindow(MainWindowControl* window) { window_.store(window); }

    // Maximise and restore where the host places the window itself (main
    // thread only): the flag, the rectangle from before and the work area
    // it was maximised into.
    bool Maximised() const { return maximised_; }
    void SetMaximised(bool maximised) { maximised_ = maximised; }
    QRect RememberedRect() const { return remembered_; }
    QRect RememberedArea() const { return rememberedArea_; }
    void SetRememberedRect(const QRect& rect, const QRect& area) {
        remembered_ = rect;
        rememberedArea_ = area;
    }

    // Called on the main thread only; the default shows nothing.
    HostDialogs& Dialogs() const;
    // Replaces the dialogs; null restores the default.
    void SetDialogs(std::unique_ptr<HostDialogs> dialogs);

    // The launcher progress and notifications; null until the program's
    // window is up (and in tests that make none). Main thread only.
    DesktopNotices* Notices() const { return notices_; }
    void SetNotices(DesktopNotices* notices) { notices_ = notices; }

    // The dated log and temporary folder, with a trailing "/".
    std::u16string LogFolder() const;
    void SetLogFolder(const std::u16string& folder);

private:
    std::atomic<float> dpiScale_{1.0f};
    std::atomic<MainWindowControl*> window_{nullptr};
    bool maximised_ = false;
    QRect remembered_;
    QRect rememberedArea_;
    mutable std::mutex mutex_;
    std::unique_ptr<HostDialogs> dialogs_;
    DesktopNotices* notices_ = nullptr;
    std::u16string logFolder_;
};

#endif  // PIXBRIDGE_HOST_HOST_CONTEXT_H
