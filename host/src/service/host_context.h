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

class QWidget;

// The main window as the commands see it.
class MainWindowControl {
public:
    virtual ~MainWindowControl() = default;
    virtual QRect MainGeometry() const = 0;
    virtual QRect WorkArea() const = 0;
    // Both place and show.
    virtual void PlaceMain(const QRect& rect) = 0;
    virtual void PlaceView(const QRect& rect) = 0;
    virtual QWidget* MainView() const = 0;
    virtual void Minimise() = 0;
    // The close protocol, as the window manager's close runs it; false when
    // a module refused.
    virtual bool RequestClose() = 0;
};

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

    // Maximise and restore (main thread only).
    bool Maximised() const { return maximised_; }
    void SetMaximised(bool maximised) { maximised_ = maximised; }
    QRect RememberedRect() const { return remembered_; }
    void SetRememberedRect(const QRect& rect) { remembered_ = rect; }

    // Called on the main thread only; the default shows nothing.
    HostDialogs& Dialogs() const;
    // Replaces the dialogs; null restores the default.
    void SetDialogs(std::unique_ptr<HostDialogs> dialogs);

    // The dated log and temporary folder, with a trailing "/".
    std::u16string LogFolder() const;
    void SetLogFolder(const std::u16string& folder);

private:
    std::atomic<float> dpiScale_{1.0f};
    std::atomic<MainWindowControl*> window_{nullptr};
    bool maximised_ = false;
    QRect remembered_;
    mutable std::mutex mutex_;
    std::unique_ptr<HostDialogs> dialogs_;
    std::u16string logFolder_;
};

#endif  // PIXBRIDGE_HOST_HOST_CONTEXT_H
