#include "presenter/vo_converter_delegate.h"

#include "presenter/vo_drop_menu.h"

#include <canvas/vo_command.h>
#include <canvas/vo_list_view.h>
#include <canvas/vo_switch_button.h>
#include <pixbridge/command_names.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <glog/logging.h>

VoConverterDelegate::VoConverterDelegate(ModuleBus bus, const BASUserDefaults* store, const ModuleImages* images,
                                         float dpiScale)
    : res_(bus, store, images, dpiScale), messages_(bus), chooser_(nullptr) {}

VoConverterDelegate::~VoConverterDelegate() {
    // The views' controls are children of the window; the window goes first,
    // while the views its controls call back into (the list reports its
    // visible rows as it is taken down) still live.
    delete window_.data();
    content_.reset();
    entry_.reset();
}

void VoConverterDelegate::CreateWindow(void* parent, const WindowRect& rect) {
    if (!parent) {
        LOG(ERROR) << "the workbench window needs the host's view as its parent";
        return;
    }
    window_ = new ConverterWidget(static_cast<QWidget*>(parent), *this);  // owned by the main view (Qt)
    window_->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
    window_->setObjectName(QStringLiteral("converter"));
    chooser_ = QtPhotoChooser(window_);
    entry_ = std::make_unique<VoEntryPresenter>(window_, res_);
    entry_->Create();
    content_ = std::make_unique<VoContentPresenter>(window_, res_, &chooser_, &messages_,
                                                    [this](const char* notification) { Notify(notification); });
    content_->Create();
    CreateShortcuts();
    QObject::connect(qApp, &QApplication::focusChanged, window_, [this](QWidget*, QWidget* to) {
        if (to && window_ && window_->isAncestorOf(to)) lastFocus_ = to;
    });
    SwitchView(kEntryView);
    entry_->FocusAddButton();
    window_->show();
}

void VoConverterDelegate::CreateShortcuts() {
    // Window shortcuts: they act while the main window is the active one,
    // never while a dialog is, and none is the title bar's (Alt+F4, Ctrl+Q,
    // Alt+Space). Space and Delete are the list's own keys, so in the text
    // boxes they stay text.
    using Action = void (*)(VoConverterDelegate&);
    const std::pair<QKeySequence, Action> table[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_O), [](VoConverterDelegate& d) { d.AddFilesFromKeyboard(); }},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), [](VoConverterDelegate& d) { d.AddFolderFromKeyboard(); }},
        // The search and the conversion are the content view's.
        {QKeySequence(Qt::CTRL | Qt::Key_F),
         [](VoConverterDelegate& d) { if (d.currentView_ == kContentView) d.content_->FocusSearch(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_Return),
         [](VoConverterDelegate& d) { if (d.currentView_ == kContentView) d.content_->Convert(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_Enter),
         [](VoConverterDelegate& d) { if (d.currentView_ == kContentView) d.content_->Convert(); }},
    };
    for (const auto& [keys, action] : table) {
        auto* shortcut = new QShortcut(keys, window_);  // a child: owned by the window
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window_, [this, action = action] { action(*this); });
    }
}

void VoConverterDelegate::RestoreFocus() {
    if (!window_ || !window_->isEnabled()) return;
    const QWidget* now = window_->window()->focusWidget();
    if (now && now != window_->window() && now->isVisible() && now->isEnabled()) return;
    QWidget* target = lastFocus_;
    if (!target || !target->isVisibleTo(window_) || !target->isEnabled()) {
        target = currentView_ == kContentView ? static_cast<QWidget*>(content_->List())
                                              : static_cast<QWidget*>(entry_->AddButton());
    }
    if (target) target->setFocus(Qt::OtherFocusReason);
}

void VoConverterDelegate::AddFilesFromKeyboard() {
    if (currentView_ == kEntryView) {
        AddFromEntry();
    } else {
        content_->AddFiles();
    }
}

void VoConverterDelegate::AddFolderFromKeyboard() {
    content_->AddFolder();
    // From the entry view as from its add button: the content view once the
    // folder brought photos.
    if (currentView_ == kEntryView && content_->Model().ShownCount() > 0) SwitchView(kContentView);
}

QWidget* VoConverterDelegate::Window() const { return window_.data(); }

void VoConverterDelegate::SetChooser(PhotoChooser* chooser) {
    if (content_) content_->SetChooser(chooser ? chooser : &chooser_);
}

void VoConverterDelegate::ResizeClient(int32_t width, int32_t height) {
    if (!window_) return;
    window_->resize(width, height);
}

void VoConverterDelegate::SwitchView(int view) {
    const bool changed = view != currentView_;
    currentView_ = view;
    if (!window_) return;
    entry_->SetVisible(view == kEntryView);
    content_->SetVisible(view == kContentView);
    if (view == kEntryView) entry_->Layout(window_->width(), window_->height());
    else content_->Layout(window_->width(), window_->height());
    window_->setAcceptDrops(view == kEntryView);
    window_->update();
    // The keyboard goes on in the list of the photos just added (once the
    // loading dialog has gone, when it shows).
    if (changed && view == kContentView) {
        lastFocus_ = content_->List();
        content_->FocusList();
    }
}

void VoConverterDelegate::Paint(QPainter& painter) const {
    if (currentView_ == kEntryView) entry_->Paint(painter);
    else content_->Paint(painter);
}

void VoConverterDelegate::OnCommand(int id) {
    if (currentView_ == kEntryView && id == VoEntryPresenter::kAddId) {
        AddFromEntry();
        return;
    }
    if (currentView_ == kContentView) content_->OnCommand(id);
}

void VoConverterDelegate::AddFromEntry() {
    if (content_->Model().AddFiles() <= 0) return;
    SwitchView(kContentView);
    PostLoading(LIBPLATFORM_COMMAND_OPEN_DATA_TYPE_LOADING_DIALOG);
}

bool VoConverterDelegate::AddPaths(const std::vector<std::u16string>& paths) {
    if (!content_ || content_->AddDropped(paths) <= 0) return false;
    if (currentView_ != kContentView) SwitchView(kContentView);
    PostLoading(LIBPLATFORM_COMMAND_OPEN_DATA_TYPE_LOADING_DIALOG);
    return true;
}

void VoConverterDelegate::StopWork() {
    if (content_) content_->StopWork();
}

bool VoConverterDelegate::ShowDropMenu(const QPoint& globalPos) const {
    if (dropMenu_) return dropMenu_(globalPos);
    VoDropMenu menu(window_, ViewResources::Tr(u"drag-drop-here"), res_.Font("font:16:normal"), res_.DpiScale());
    return menu.Exec(globalPos);
}

void VoConverterDelegate::OnDrop(const std::vector<std::u16string>& paths, const QPoint& globalPos) {
    if (!AcceptsDrops() || !ShowDropMenu(globalPos) || paths.empty()) return;
    AddPaths(paths);
}

void VoConverterDelegate::Notify(const char* notification) {
    if (std::string(notification) == LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_BEGIN) {
        PostLoading(LIBPLATFORM_COMMAND_OPEN_DATA_TYPE_LOADING_DIALOG);
    } else if (std::string(notification) == LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_END) {
        PostLoading(LIBPLATFORM_COMMAND_CLOSE_DATA_TYPE_LOADING_DIALOG);
    }
}

void VoConverterDelegate::PostLoading(const char* command) {
    ModuleCommand c = MakeCommand(command);
    c.text = const_cast<char*>(VoContentPresenter::kDeviceId);
    c.number = 0;
    c.window = window_.data();
    res_.Bus().Post(c);
}

ConverterWidget::ConverterWidget(QWidget* parent, VoConverterDelegate& delegate) : QWidget(parent), delegate_(delegate) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool ConverterWidget::event(QEvent* e) {
    const int id = Vo::CommandId(e);
    if (id >= 0) {
        delegate_.OnCommand(id);
        return true;
    }
    return QWidget::event(e);
}

void ConverterWidget::paintEvent(QPaintEvent*) {
    // One picture painted off-screen, then one copy: no flicker on resizes.
    QImage picture(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(devicePixelRatioF());
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing, true);
        delegate_.Paint(painter);
    }
    QPainter(this).drawImage(0, 0, picture);
}

void ConverterWidget::resizeEvent(QResizeEvent*) {
    delegate_.SwitchView(delegate_.CurrentView());
}

void ConverterWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && isEnabled()) delegate_.RestoreFocus();
}

void ConverterWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (delegate_.AcceptsDrops() && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ConverterWidget::dropEvent(QDropEvent* event) {
    if (!delegate_.AcceptsDrops()) return;
    std::vector<std::u16string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        // Only files on this machine: a web or network address is no photo to read.
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdU16String());
    }
    event->acceptProposedAction();
    // The menu runs after the drop has been answered: the file manager is
    // not kept waiting while the user decides.
    const QPoint at = mapToGlobal(event->position().toPoint());
    QTimer::singleShot(0, this, [this, paths, at] { delegate_.OnDrop(paths, at); });
}
