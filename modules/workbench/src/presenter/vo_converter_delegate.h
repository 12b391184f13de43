// VoConverterDelegate: the workbench's one window inside the host's main
// view. It holds the entry view and the content view, paints the one that
// shows, hands commands to them, opens and closes the loading dialog, and
// takes photos dropped from a file manager while the entry view shows. The
// first successful add switches to the content view for good. Its window
// shortcuts: Ctrl+O adds photos, Ctrl+Shift+O a folder, Ctrl+F goes to the
// search box and Ctrl+Enter converts.
#ifndef WORKBENCH_VO_CONVERTER_DELEGATE_H
#define WORKBENCH_VO_CONVERTER_DELEGATE_H

#include "module/converter_window_delegate.h"
#include "presenter/qt_photo_chooser.h"
#include "presenter/view_resources.h"
#include "presenter/vo_content_presenter.h"
#include "presenter/vo_entry_presenter.h"
#include "module/host_messages.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ConverterWidget;

class VoConverterDelegate : public ConverterWindowDelegate {
public:
    enum View : int { kEntryView = 1, kContentView = 2 };

    VoConverterDelegate(ModuleBus bus, const BASUserDefaults* store, const ModuleImages* images, float dpiScale);
    ~VoConverterDelegate() override;

    void CreateWindow(void* parent, const WindowRect& rect) override;
    void ResizeClient(int32_t width, int32_t height) override;

    // Photos given from outside (a drop, or "Open with"): added as a drop
    // adds them; true when at least one was new.
    bool AddPaths(const std::vector<std::u16string>& paths);
    // The program is closing: the running work stops.
    void StopWork() override;
    void AddDroppedPaths(const std::vector<std::u16string>& paths) override { AddPaths(paths); }

    void SwitchView(int view);
    int CurrentView() const { return currentView_; }
    QWidget* Window() const;
    VoEntryPresenter* Entry() const { return entry_.get(); }
    VoContentPresenter* Content() const { return content_.get(); }
    QtPhotoChooser& Chooser() { return chooser_; }
    // The file and folder dialogs of the views; null puts Qt's back. Tests
    // answer them with a stand-in.
    void SetChooser(PhotoChooser* chooser);

    // The drop menu: true when the user chose to add. Tests may replace it.
    using DropMenu = std::function<bool(const QPoint& globalPos)>;
    void SetDropMenu(DropMenu menu) { dropMenu_ = std::move(menu); }
    bool ShowDropMenu(const QPoint& globalPos) const;

    // For the window.
    void Paint(QPainter& painter) const;
    void OnCommand(int id);
    void OnDrop(const std::vector<std::u16string>& paths, const QPoint& globalPos);
    bool AcceptsDrops() const { return currentView_ == kEntryView; }
    // The window was enabled again (a loading or progress dialog went): the
    // keyboard goes back where it was, or to the view's first place.
    void RestoreFocus();

private:
    void Notify(const char* notification);
    void PostLoading(const char* command);
    void AddFromEntry();
    void AddFilesFromKeyboard();
    void AddFolderFromKeyboard();
    void CreateShortcuts();

    ViewResources res_;
    HostMessages messages_;
    QtPhotoChooser chooser_;
    QPointer<ConverterWidget> window_;  // owned by the host's main view (Qt)
    std::unique_ptr<VoEntryPresenter> entry_;
    std::unique_ptr<VoContentPresenter> content_;
    int currentView_ = kEntryView;
    DropMenu dropMenu_;
    // The last of the window's controls that had the focus: disabling the
    // window (while a dialog shows) takes the focus away.
    QPointer<QWidget> lastFocus_;
};

// The delegate's window: paints off-screen, takes commands and drops.
class ConverterWidget : public QWidget {
public:
    ConverterWidget(QWidget* parent, VoConverterDelegate& delegate);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    VoConverterDelegate& delegate_;
};

#endif  // WORKBENCH_VO_CONVERTER_DELEGATE_H
