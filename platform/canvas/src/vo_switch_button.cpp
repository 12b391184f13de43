#include "canvas/vo_switch_button.h"

#include "canvas/pictures.h"
#include "canvas/vo_command.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStyleOptionFocusRect>

VoSwitchButton::VoSwitchButton() {
    setFlat(true);
    setAutoDefault(false);
    setCursor(Qt::PointingHandCursor);
}

void VoSwitchButton::Init(const QString& text, const QColor& textColor, const QColor& backgroundColor,
                          const QColor& pressedTextColor, const QColor& pressedBackgroundColor) {
    textColor_ = textColor;
    backgroundColor_ = backgroundColor;
    pressedTextColor_ = pressedTextColor;
    pressedBackgroundColor_ = pressedBackgroundColor;
    SetText(text);
}

void VoSwitchButton::SetRadio(bool radio) {
    radio_ = radio;
    setCheckable(radio);
    setAutoExclusive(radio);
    update();
}

void VoSwitchButton::CreateButton(QWidget* parent, const QFont* font, int id) {
    id_ = id;
    setParent(parent);
    if (font) setFont(*font);
    QObject::connect(this, &QPushButton::clicked, this, [this] { Vo::SendCommand(this, id_); });
    FitToText();
    show();
}

void VoSwitchButton::SetText(const QString& text) {
    setText(text);  // also the accessible name
    FitToText();
    update();
}

QSize VoSwitchButton::sizeHint() const {
    const QFontMetrics metrics(font());
    const int image = ImageWidth();
    const int gap = image > 0 && !text().isEmpty() ? static_cast<int>(6 * dpiScale_) : 0;
    return QSize(metrics.horizontalAdvance(text()) + image + gap + 2 * hMargin_, metrics.height() + 2 * vMargin_);
}

void VoSwitchButton::FitToText() {
    // The layouts read the button's own size, so it follows its caption.
    resize(sizeHint());
}

void VoSwitchButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const bool active = isDown() || (radio_ && isChecked());
    const QColor text = !isEnabled() ? QColor(170, 170, 170) : active ? pressedTextColor_ : textColor_;
    const QColor back = active ? pressedBackgroundColor_ : backgroundColor_;
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    if (radio_ && isChecked()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(text);
        painter.drawRoundedRect(box, roundX_, roundY_);
    } else if (roundRect_) {
        painter.setPen(QPen(borderColor_.isValid() ? borderColor_ : text, 1));
        painter.setBrush(back);
        painter.drawRoundedRect(box, roundX_, roundY_);
    } else {
        painter.fillRect(rect(), back);
        if (borderColor_.isValid()) {
            painter.setPen(QPen(borderColor_, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(box);
        }
    }
    if (isDefault() && roundRect_) {
        // The button Enter presses carries a slightly heavier outline.
        painter.setPen(QPen(text, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), roundX_, roundY_);
    }

    const int image = ImageWidth();
    const int gap = image > 0 && !this->text().isEmpty() ? static_cast<int>(6 * dpiScale_) : 0;
    const int content = QFontMetrics(font()).horizontalAdvance(this->text()) + image + gap;
    int x = (width() - content) / 2;
    if (image > 0) {
        DrawImage(painter, QRect(x, 0, image, height()));
        x += image + gap;
    }
    painter.setPen(radio_ && isChecked() ? QColor(Qt::white) : text);
    painter.setFont(font());
    painter.drawText(QRect(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     this->text());

    if (hasFocus()) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        QPen pen(text, 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

int VoSwitchImageButton::ImageWidth() const {
    return image_ && !image_->isNull() ? static_cast<int>(Utils::PictureSize(image_).width() * DpiScale()) : 0;
}

void VoSwitchImageButton::SetImage(const QImage* image, const QImage* pressedImage) {
    image_ = image;
    pressedImage_ = pressedImage;
    SetText(text());
}

void VoSwitchImageButton::DrawImage(QPainter& painter, const QRect& rect) {
    const QImage* image = (isDown() || isChecked()) && pressedImage_ ? pressedImage_ : image_;
    if (!image || image->isNull()) return;
    const QSize picture = Utils::PictureSize(image);
    const int w = static_cast<int>(picture.width() * DpiScale());
    const int h = static_cast<int>(picture.height() * DpiScale());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRect(rect.x(), rect.y() + (rect.height() - h) / 2, w, h), *image);
}
