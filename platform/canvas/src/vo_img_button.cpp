#include "canvas/vo_img_button.h"

#include "canvas/pictures.h"
#include "canvas/vo_command.h"

#include <QEvent>
#include <QImage>
#include <QPainter>

VoImgButton::VoImgButton() {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, true);
}

VoImgButton::~VoImgButton() {
    if (anchored_ && parentWidget()) parentWidget()->removeEventFilter(this);
}

void VoImgButton::CreateButton(QWidget* parent, int id, int flag) {
    id_ = id;
    setParent(parent);
    setFocusPolicy(flag ? Qt::StrongFocus : Qt::NoFocus);
    QObject::connect(this, &QAbstractButton::clicked, this, [this] { Vo::SendCommand(this, id_); });
    FitToImage();
    show();
}

void VoImgButton::Init(const QImage* normal, int x, int y, const QImage* pressed) {
    normal_ = normal;
    pressed_ = pressed;
    FitToImage();
    anchorX_ = x;
    anchorY_ = y;
    if ((x < 0 || y < 0) && parentWidget() && !anchored_) {
        parentWidget()->installEventFilter(this);
        anchored_ = true;
    }
    Anchor();
}

void VoImgButton::SetTooltip(const QString& text) {
    setToolTip(text);
    setAccessibleName(text);
}

void VoImgButton::MoveWindow(int x, int y, int width, int height) {
    if (anchored_ && parentWidget()) parentWidget()->removeEventFilter(this);
    anchored_ = false;
    setGeometry(x, y, width, height);
}

QSize VoImgButton::sizeHint() const {
    if (!normal_ || normal_->isNull()) return QSize(static_cast<int>(16 * dpiScale_), static_cast<int>(16 * dpiScale_));
    const QSize picture = Utils::PictureSize(normal_);
    return QSize(static_cast<int>(picture.width() * dpiScale_), static_cast<int>(picture.height() * dpiScale_));
}

void VoImgButton::FitToImage() { resize(sizeHint()); }

void VoImgButton::Anchor() {
    const QWidget* parent = parentWidget();
    if (!parent) {
        move(anchorX_, anchorY_);
        return;
    }
    const int x = anchorX_ < 0 ? parent->width() + anchorX_ - width() : anchorX_;
    const int y = anchorY_ < 0 ? parent->height() + anchorY_ - height() : anchorY_;
    move(x, y);
}

bool VoImgButton::eventFilter(QObject* watched, QEvent* event) {
    if (anchored_ && watched == parentWidget() && event->type() == QEvent::Resize) Anchor();
    return QAbstractButton::eventFilter(watched, event);
}

void VoImgButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (background_.isValid()) painter.fillRect(rect(), background_);
    const bool active = isDown() || isChecked() || underMouse() || hasFocus();
    const QImage* image = active && pressed_ && !pressed_->isNull() ? pressed_ : normal_;
    if (!image || image->isNull()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    // Drawn at its scaled size, or smaller when the button was made smaller.
    const QSize size = sizeHint().boundedTo(this->size());
    painter.drawImage(QRect((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height()),
                      *image);
    if (hasFocus()) {
        // The keyboard's place: a pressed picture may look like the normal one.
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.0, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}
