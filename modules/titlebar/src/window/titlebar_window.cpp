#include "window/titlebar_window.h"

#include "module/titlebar_catalog.h"
#include "module/titlebar_images.h"

#include <canvas/utils.h>
#include <canvas/vo_command.h>

#include <glog/logging.h>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>

namespace {

// The program's picture, as the host keeps it.
constexpr const char* kProgramImage = "application128x128.png";
constexpr const char* kTextFont = "font:gdiplus:14:normal";

void SetUpButton(VoImgButton& button, QWidget* parent, int id, const char* name, float scale) {
    button.SetDpiScale(scale);
    button.CreateButton(parent, id);
    button.setObjectName(QString::fromLatin1(name));
}

void SetImages(VoImgButton& button, const TitlebarImages& images, const std::string& stem) {
    button.SetNormalImage(images.Find("caption/" + stem + "-normal.png"));
    button.SetPressedImage(images.Find("caption/" + stem + "-pressed.png"));
}

}  // namespace

TitlebarWindow::TitlebarWindow(const HostLink& host, const TitlebarImages& images, const TitlebarColours& colours,
                               float dpiScale, QWidget* parent)
    : QWidget(parent),
      host_(host),
      images_(images),
      colours_(colours),
      dpiScale_(dpiScale),
      menu_(this),
      altF4_(this),
      ctrlQ_(this),
      altSpace_(this) {
    setObjectName(QStringLiteral("TitlebarWindow"));
    setAttribute(Qt::WA_OpaquePaintEvent, true);

    title_ = QString::fromStdU16String(host_.ProductName());
    setAccessibleName(title_);
    if (const QFont* font = host_.Font(kTextFont)) titleFont_ = *font;
    const int pixels = titleFont_.pixelSize() > 0 ? titleFont_.pixelSize() : titlebar::Scaled(14, dpiScale_);
    titleFont_.setPixelSize(std::min(pixels, titlebar::kTitleMaxPx));
    layout_ = titlebar::ComputeLayout(width(), dpiScale_);
    program_ = host_.Image(kProgramImage);

    SetUpButton(menuButton_, this, kMenuId, "menu-button", dpiScale_);
    SetUpButton(minimizeButton_, this, kMinimizeId, "minimize-button", dpiScale_);
    SetUpButton(maximizeButton_, this, kMaximizeId, "maximize-button", dpiScale_);
    SetUpButton(closeButton_, this, kCloseId, "close-button", dpiScale_);
    SetImages(menuButton_, images_, "menu");
    SetImages(minimizeButton_, images_, "minimize");
    SetImages(closeButton_, images_, "close");
    menuButton_.SetTooltip(TranslateTitlebar(u"menu"));
    minimizeButton_.SetTooltip(TranslateTitlebar(u"minimize"));
    closeButton_.SetTooltip(TranslateTitlebar(u"close"));
    // The tooltips of the two buttons that have keys name them; the
    // accessible names stay the plain names.
    menuButton_.setToolTip(TranslateTitlebar(u"menu-tooltip"));
    closeButton_.setToolTip(TranslateTitlebar(u"close-tooltip"));
    ShowMaximised(false);
    BuildMenu();

    // Window shortcuts: they act while the main window is the active one,
    // never while one of the host's dialogs is.
    altF4_.setKey(QKeySequence(Qt::ALT | Qt::Key_F4));
    ctrlQ_.setKey(QKeySequence(Qt::CTRL | Qt::Key_Q));
    altSpace_.setKey(QKeySequence(Qt::ALT | Qt::Key_Space));
    for (QShortcut* shortcut : {&altF4_, &ctrlQ_, &altSpace_}) shortcut->setContext(Qt::WindowShortcut);
    connect(&altF4_, &QShortcut::activated, this, [this] { Close(); });
    connect(&ctrlQ_, &QShortcut::activated, this, [this] { Close(); });
    connect(&altSpace_, &QShortcut::activated, this, [this] { OpenMenu(true); });
}

TitlebarWindow::~TitlebarWindow() = default;

void TitlebarWindow::BuildMenu() {
    menuStyle_ = std::make_unique<TitlebarMenuStyle>(colours_.menu, dpiScale_);
    menu_.setStyle(menuStyle_.get());
    menu_.setObjectName(QStringLiteral("titlebar-menu"));
    if (const QFont* font = host_.Font(kTextFont)) menu_.setFont(*font);
    for (const MenuItem& item : MenuItems()) {
        if (item.groupStart) menu_.addSeparator();
        QAction* action = menu_.addAction(TranslateTitlebar(item.key));
        action->setObjectName(QString::fromStdU16String(item.key));
        const MenuItem* entry = &item;  // the table lives for the run
        connect(action, &QAction::triggered, this, [this, entry] { Run(*entry); });
    }
}

bool TitlebarWindow::event(QEvent* event) {
    const int id = Vo::CommandId(event);
    if (id >= 0) {
        OnCommand(id);
        return true;
    }
    return QWidget::event(event);
}

void TitlebarWindow::OnCommand(int id) {
    switch (id) {
    case kMenuId:
        OpenMenu(false);
        break;
    case kMinimizeId:
        host_.PressMinimize();
        break;
    case kMaximizeId:
        ToggleMaximise();
        break;
    case kCloseId:
        Close();
        break;
    default:
        break;
    }
}

void TitlebarWindow::ToggleMaximise() {
    const int state = host_.PressMaxOrReset();
    // No answer: the window did not change, and neither does the button.
    if (state >= 0) ShowMaximised(state == 1);
}

void TitlebarWindow::ShowMaximised(bool maximised) {
    maximised_ = maximised;
    SetImages(maximizeButton_, images_, maximised ? "restore" : "maximize");
    maximizeButton_.SetTooltip(TranslateTitlebar(maximised ? u"restore" : u"maximize"));
    // A new image resizes the button to the image; the layout decides.
    maximizeButton_.MoveWindow(layout_.maximize.x(), layout_.maximize.y(), layout_.maximize.width(),
                               layout_.maximize.height());
}

void TitlebarWindow::OpenMenu(bool fromKeyboard) {
    if (menu_.isVisible()) {
        menu_.hide();
        return;
    }
    // Below the menu button, right edges aligned, so the menu opens into the window.
    const QSize size = menu_.sizeHint();
    const QPoint at = menuButton_.mapToGlobal(
        QPoint(menuButton_.width() - size.width(), menuButton_.height() + titlebar::Scaled(2, dpiScale_)));
    menu_.popup(at);
    if (fromKeyboard) {
        for (QAction* action : menu_.actions()) {
            if (!action->isSeparator()) {
                menu_.setActiveAction(action);
                break;
            }
        }
    }
}

void TitlebarWindow::Run(const MenuItem& item) {
    // After the menu has closed and its event has unwound: the settings and
    // about dialogs run modally.
    const MenuAction action = item.action;
    const char* urlKey = item.urlKey;
    QMetaObject::invokeMethod(
        this,
        [this, action, urlKey] {
            switch (action) {
            case MenuAction::kSettings:
                host_.OpenSettings();
                return;
            case MenuAction::kAbout:
                host_.OpenAbout();
                return;
            case MenuAction::kCheckForUpdate:
                host_.CheckForUpdate();
                return;
            case MenuAction::kHelp:
            case MenuAction::kFeedback:
            case MenuAction::kSupport:
                break;
            }
            const std::string text = host_.Url(urlKey);
            const QUrl url = WebUrl(text);
            if (!url.isValid()) {
                LOG(WARNING) << "not opening " << urlKey << ": \"" << text << "\" is not a web page";
                return;
            }
            if (!QDesktopServices::openUrl(url)) LOG(WARNING) << "the browser did not open " << text;
        },
        Qt::QueuedConnection);
}

void TitlebarWindow::Close() {
    LOG(INFO) << "close asked from the title bar";
    // A module may refuse (and has told the user why); the band stays as it is.
    if (!host_.PressClose()) LOG(INFO) << "close refused";
}

void TitlebarWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colours_.background);
    painter.fillRect(QRect(0, height() - 1, width(), 1), colours_.line);
    if (const QImage& icon = Icon(); !icon.isNull()) {
        const QSize size = icon.deviceIndependentSize().toSize();
        const QPoint corner(layout_.icon.x() + (layout_.icon.width() - size.width()) / 2,
                            layout_.icon.y() + (layout_.icon.height() - size.height()) / 2);
        painter.drawImage(corner, icon);
    }
    Utils::DrawTextInRect(painter, title_, &titleFont_, colours_.title, layout_.title, Qt::AlignLeft | Qt::AlignVCenter,
                          false);
}

const QImage& TitlebarWindow::Icon() {
    const qreal ratio = devicePixelRatioF();
    if (program_ && !program_->isNull() && (icon_.isNull() || icon_.devicePixelRatio() != ratio)) {
        // Scaled once per screen, with area averaging, to the icon's size in
        // device pixels: the picture is far larger than the icon.
        icon_ = program_->scaled(layout_.icon.size() * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        icon_.setDevicePixelRatio(ratio);
    }
    return icon_;
}

void TitlebarWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layout_ = titlebar::ComputeLayout(width(), dpiScale_);
    const std::pair<VoImgButton*, QRect> places[] = {{&menuButton_, layout_.menu},
                                                     {&minimizeButton_, layout_.minimize},
                                                     {&maximizeButton_, layout_.maximize},
                                                     {&closeButton_, layout_.close}};
    for (const auto& [button, rect] : places) button->MoveWindow(rect.x(), rect.y(), rect.width(), rect.height());
}

void TitlebarWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    drag_ = Drag::kPressed;
    pressGlobal_ = event->globalPosition().toPoint();
    pressInWindow_ = pressGlobal_ - window()->pos();
    event->accept();
}

void TitlebarWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        drag_ = Drag::kIdle;
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    if (drag_ == Drag::kPressed && (global - pressGlobal_).manhattanLength() >= QApplication::startDragDistance()) {
        StartDrag(global);
    }
    if (drag_ == Drag::kManual) window()->move(global - pressInWindow_);
    event->accept();
}

void TitlebarWindow::StartDrag(const QPoint& global) {
    QWidget* top = window();
    if (maximised_) {
        // Dragging a maximised window takes it back to its own size first,
        // under the cursor, as desktop users expect. Where the host placed
        // the window the size changes at once; where the window manager
        // restores it, later, to the rectangle Qt saved before maximising.
        const QRect normal = top->normalGeometry();
        const QSize maximisedSize = top->size();
        ToggleMaximise();
        if (!maximised_) {
            const QSize restored = top->size() != maximisedSize || !normal.isValid() ? top->size() : normal.size();
            const QPoint origin = titlebar::RestoredOrigin(global, pressInWindow_, maximisedSize.width(), restored.width());
            top->setGeometry(QRect(origin, restored));
            pressInWindow_ = global - origin;
        }
    }
    // The window manager or compositor moves it when there is one (on
    // Wayland nothing else can); on a bare X server the band follows the
    // cursor itself.
    QWindow* handle = top->windowHandle();
    drag_ = handle && handle->startSystemMove() ? Drag::kSystem : Drag::kManual;
}

void TitlebarWindow::mouseReleaseEvent(QMouseEvent* event) {
    drag_ = Drag::kIdle;
    QWidget::mouseReleaseEvent(event);
}

void TitlebarWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    drag_ = Drag::kIdle;
    ToggleMaximise();
    event->accept();
}
