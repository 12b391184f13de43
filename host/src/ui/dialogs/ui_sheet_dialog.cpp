#include "ui_sheet_dialog.h"

#include "dialog_resources.h"

#include <canvas/accessibility.h>

#include <QLabel>
#include <QPainter>
#include <QTimerEvent>

#include <algorithm>

namespace {
constexpr int kSlideTickMs = 50;
}

UiSheetDialog::UiSheetDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed)
    : UiDialog(dpiScale, closeNormal, closePressed), topOffset_(Scaled(60)), fullHeight_(Scaled(40)) {
    // A notice drawn inside the main window, not a window of its own: it
    // moves with the main window wherever the window manager or compositor
    // puts it (a Wayland client cannot place a window beside another), and
    // it never takes the focus.
    setWindowFlags(Qt::Widget);
    setFocusPolicy(Qt::NoFocus);
    // Screen readers speak a notification as it appears.
    Accessibility::SetRole(this, QAccessible::Notification);
}

UiSheetDialog::~UiSheetDialog() = default;

void UiSheetDialog::CreateTip(QWidget* parent, int width) { Create(parent, width, fullHeight_); }

void UiSheetDialog::InitDialog() {
    UiDialog::InitDialog();
    // A slim strip under the title bar: a slimmer shadow than a dialog's
    // (drawn inside, below: the tip is no window a companion could follow).
    if (VoThemedShadowWnd* shadow = Shadow()) shadow->SetShadowSize(Scaled(2));
    // In the parent's coordinates: the tip is its child.
    setGeometry(0, Scaled(68), DialogWidth(), fullHeight_ / 5);
    CloseButton().SetBkgColor(tipColour_);
    CloseButton().MoveWindow(0, 0, CloseButton().width(), CloseButton().height());
    CloseButton().hide();

    linkControl_ = std::make_unique<QLabel>(this);
    linkControl_->setObjectName(QStringLiteral("sheet-text"));
    linkControl_->setTextFormat(Qt::RichText);
    linkControl_->setFont(dialog_resources::Font("font:16:normal"));
    linkControl_->setAttribute(Qt::WA_TranslucentBackground);
    linkControl_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    QObject::connect(linkControl_.get(), &QLabel::linkActivated, this, [this](const QString&) { OnLinkClicked(); });
    linkControl_->hide();
}

void UiSheetDialog::SetText(const std::u16string* text) {
    EnsureInitialised();
    if (!text) {
        text_.clear();  // the link control keeps its old text
        return;
    }
    text_ = *text;
    // One link over the whole text with an empty target: a click is the
    // click action, never a web page.
    linkControl_->setText(QStringLiteral("<a href=\"\" style=\"color:#5A4A00; text-decoration:none\">%1</a>")
                              .arg(QString::fromStdU16String(text_).toHtmlEscaped()));
    linkControl_->setAccessibleName(QString::fromStdU16String(text_));
    setAccessibleName(QString::fromStdU16String(text_));
    update();
}

void UiSheetDialog::Layout() {
    QWidget* parent = ParentWindow();
    if (!parent) return;
    setGeometry(0, topOffset_, parent->width(), height());
    CloseButton().move(width() - Scaled(8) - CloseButton().width(), Scaled(8));
    if (linkControl_->isVisible()) {
        linkControl_->setGeometry(Scaled(16), Scaled(8), width() - Scaled(20), fullHeight_ - Scaled(20));
    }
}

void UiSheetDialog::ShowTip(int mode, int timeMs) {
    dialog_resources::AssertMainThread("UiSheetDialog::ShowTip");
    EnsureInitialised();
    if (mode == kModeHide) {
        HideTip();
        return;
    }
    displayTimeMs_ = timeMs;
    Reset();
    displayTimer_.stop();
    slideTimer_.start(kSlideTickMs, this);
    Layout();
    show();
    raise();  // above the module windows, its siblings
    Accessibility::Announce(this);
}

void UiSheetDialog::HideTip() {
    finished_ = true;
    slideTimer_.stop();
    displayTimer_.stop();
    hide();
}

void UiSheetDialog::timerEvent(QTimerEvent* e) {
    if (e->timerId() == slideTimer_.timerId()) {
        if (height() < fullHeight_) {
            resize(width(), std::min(fullHeight_, height() + fullHeight_ / 5));
            if (height() < fullHeight_) return;
        }
        slideTimer_.stop();
        displayTimer_.start(displayTimeMs_, this);
        linkControl_->setGeometry(Scaled(16), Scaled(8), width() - Scaled(20), fullHeight_ - Scaled(20));
        linkControl_->show();
        CloseButton().move(width() - Scaled(8) - CloseButton().width(), Scaled(8));
        CloseButton().show();
        resize(width(), fullHeight_);
        return;
    }
    if (e->timerId() == displayTimer_.timerId()) {
        HideTip();
        return;
    }
    UiDialog::timerEvent(e);
}

void UiSheetDialog::OnLinkClicked() {
    if (clickAction_) clickAction_(*this);
    HideTip();
}

void UiSheetDialog::OnCommand(int id) {
    if (id == kCloseId) HideTip();
}

void UiSheetDialog::OnPaint(QPainter& painter) {
    painter.fillRect(rect(), tipColour_);
    // Its shadow, drawn inside: a soft edge along the bottom, where the tip
    // lies over the window's content.
    const int shadow = std::max(1, Scaled(2));
    for (int i = 0; i < shadow; ++i) {
        painter.fillRect(QRect(0, height() - 1 - i, width(), 1), QColor(0x5A, 0x4A, 0x00, 60 * (shadow - i) / shadow));
    }
}

void UiSheetDialog::mousePressEvent(QMouseEvent*) {
    // The tip stays where it is: presses are swallowed, not dragged.
}
