#include "ui_dialog.h"

#include "dialog_resources.h"

#include <canvas/accessibility.h>
#include <canvas/utils.h>
#include <canvas/vo_command.h>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdlib>

UiDialog::UiDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint),
      dpiScale_(dpiScale > 0 ? dpiScale : 1.0f),
      closeNormal_(closeNormal),
      closePressed_(closePressed),
      titleHeight_(static_cast<int>(26 * dpiScale_)) {
    dialog_resources::AssertMainThread("UiDialog");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAutoFillBackground(false);
}

UiDialog::~UiDialog() = default;

void UiDialog::Create(QWidget* parent, int width, int height) {
    dialog_resources::AssertMainThread("UiDialog::Create");
    parent_ = parent;
    width_ = width;
    height_ = height;
    if (parent) setParent(parent, windowFlags());  // owned by (and kept above) the main window
    EnsureInitialised();
}

int UiDialog::RunModal(QWidget* owner) {
    dialog_resources::AssertMainThread("UiDialog::RunModal");
    if (owner && !parent_) parent_ = owner;
    if (parent_ && parentWidget() != parent_) setParent(parent_, windowFlags());
    EnsureInitialised();
    setWindowModality(Qt::ApplicationModal);
    if (shadow_) shadow_->setVisible(VoThemedShadowWnd::CanShowTranslucency());
    modalRun_ = true;
    const int result = exec();
    modalRun_ = false;
    return result;
}

void UiDialog::EnsureInitialised() {
    if (initialised_) return;
    initialised_ = true;
    InitDialog();
}

void UiDialog::InitDialog() {
    // Placement: centred over the top-level window above the dialog.
    if (!parent_) parent_ = parentWidget();
    setWindowTitle(windowTitle().isEmpty() ? QGuiApplication::applicationDisplayName() : windowTitle());
    resize(width_, height_);
    CentreOver(parent_);

    shadow_ = std::make_unique<VoThemedShadowWnd>();
    shadow_->Create(this);
    shadow_->SetShadowSize(4);

    titleColour_ = dialog_resources::StoreColor("color:title:background", QColor(127, 127, 127));

    closeButton_.SetDpiScale(dpiScale_);
    closeButton_.CreateButton(this, kCloseId);
    closeButton_.Init(closeNormal_, Scaled(-8), Scaled(4), closePressed_);
    // The button stays inside the title bar whatever the image's size.
    const int side = std::min(closeButton_.height(), titleHeight_ - Scaled(4) - Scaled(2));
    if (side > 0 && side < closeButton_.height()) {
        closeButton_.resize(side, side);
        closeButton_.move(width() - Scaled(8) - side, Scaled(4));
    }
    closeButton_.SetBkgColor(titleColour_);
    closeButton_.SetTooltip(dialog_resources::Tr(u"close"));
}

void UiDialog::StyleButton(VoSwitchButton& button, int id, const QString& text, const ButtonStyle& style) {
    const QColor normal = dialog_resources::StoreColor("color:common:button:normal", QColor(0x2F, 0x6F, 0xEB));
    const QColor pressed = dialog_resources::StoreColor("color:common:button:pressed", QColor(0x24, 0x59, 0xC4));
    button.SetDpiScale(dpiScale_);
    button.CreateButton(this, &dialog_resources::Font(style.font), id);
    button.SetHMargin(Scaled(style.hMargin));
    button.SetVMargin(Scaled(style.vMargin));
    button.SetRoundRect(style.cornerRadius > 0);
    button.SetRoundRectPoint(Scaled(style.cornerRadius), Scaled(style.cornerRadius));
    button.SetRadio(false);
    button.Init(text, normal, Qt::white, pressed, Qt::white);
}

void UiDialog::CentreOver(QWidget* over) {
    QRect area;
    if (over && over->window()) {
        area = over->window()->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
}

void UiDialog::SetDialogSize(int width, int height) {
    width_ = width;
    height_ = height;
    resize(width, height);
    update();
}

void UiDialog::Show(bool visible) {
    dialog_resources::AssertMainThread("UiDialog::Show");
    if (shadow_) shadow_->setVisible(visible && VoThemedShadowWnd::CanShowTranslucency());
    // A modeless dialog blocks its parent while it shows, as a modal one would.
    if (parent_) parent_->setEnabled(!visible);
    setEnabled(true);
    setVisible(visible);
    if (visible) raise();
}

void UiDialog::Reset() {
    finished_ = false;
    dismissed_ = false;
}

void UiDialog::MoveBy(int dx, int dy) {
    if (dx == 0 && dy == 0) return;
    move(pos() + QPoint(dx, dy));
}

void UiDialog::SetTitle(const std::u16string& title) {
    title_ = title;
    if (!title.empty()) setWindowTitle(QString::fromStdU16String(title));
    update(0, 0, width(), titleHeight_);
}

void UiDialog::EndDialog(int id) {
    if (modalRun_) {
        done(id);
        if (parent_) parent_->setEnabled(true);
        if (shadow_) shadow_->hide();
    } else {
        Show(false);
    }
}

void UiDialog::OnCommand(int id) {
    if (id != kCloseId) return;
    dismissed_ = true;
    if (parent_) parent_->setEnabled(true);
    EndDialog(kCloseId);
}

void UiDialog::reject() {
    // Escape and the window manager's close act as the close button.
    OnCommand(kCloseId);
}

bool UiDialog::event(QEvent* e) {
    const int id = Vo::CommandId(e);
    if (id >= 0) {
        OnCommand(id);
        return true;
    }
    return QDialog::event(e);
}

void UiDialog::showEvent(QShowEvent* e) {
    EnsureInitialised();
    QDialog::showEvent(e);
    if (announce_) Accessibility::Announce(this);
}

void UiDialog::AnnounceWhenShown(QAccessible::Role role) {
    Accessibility::SetRole(this, role);
    announce_ = true;
}

void UiDialog::paintEvent(QPaintEvent*) {
    // Drawn off-screen first, then one copy to the window: no flicker while
    // the progress text changes twice a second.
    QImage buffer(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    buffer.setDevicePixelRatio(devicePixelRatioF());
    buffer.fill(Qt::white);
    {
        QPainter painter(&buffer);
        OnPaint(painter);
    }
    QPainter(this).drawImage(0, 0, buffer);
}

void UiDialog::OnPaint(QPainter& painter) {
    const QRect client = rect();
    painter.fillRect(client, Qt::white);
    painter.fillRect(QRect(0, 0, client.width(), titleHeight_), titleColour_);
    painter.setPen(QColor(127, 127, 127));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(client.adjusted(0, 0, -1, -1));
    if (!title_.empty()) {
        const QFont& font = dialog_resources::Font("font:gdiplus:16:normal");
        const QFontMetrics metrics(font);
        const int offset = std::abs(titleHeight_ - metrics.height()) / 2;
        Utils::DrawTextW(painter, QString::fromStdU16String(title_), &font, dialog_resources::TextOn(titleColour_),
                         static_cast<int>(8 * dpiScale_), offset);
    }
    DrawContent(painter, QRect(QPoint(1, titleHeight_), QPoint(client.right() - 1, client.bottom() - 1)));
}

void UiDialog::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QDialog::mousePressEvent(e);
    // Dragged from anywhere, like a title bar. Without a window manager
    // (a bare X server) the system move is refused: move by hand then.
    if (QWindow* handle = windowHandle(); handle && handle->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
}

void UiDialog::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ && (e->buttons() & Qt::LeftButton)) move(e->globalPosition().toPoint() - dragOffset_);
    QDialog::mouseMoveEvent(e);
}

void UiDialog::mouseReleaseEvent(QMouseEvent* e) {
    dragging_ = false;
    QDialog::mouseReleaseEvent(e);
}
