#include "presenter/vo_track_bar.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

VoTrackThumb::VoTrackThumb(QWidget* parent, VoTrackBar& bar) : VoAccessibleValue(parent, QAccessible::Slider), bar_(bar) {
    setCursor(Qt::PointingHandCursor);
    SetRange(0, 100);
    SetSuffix(QStringLiteral("%"));
    SetSetter([this](int value) { bar_.ChooseValue(value); });
}

void VoTrackThumb::SetLimits(int minimumX, int maximumX, int fixedY) {
    minimumX_ = minimumX;
    maximumX_ = maximumX;
    move(x(), fixedY);
}

void VoTrackThumb::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The square is white, like the panel's controls, under the round thumb.
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour_);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void VoTrackThumb::mousePressEvent(QMouseEvent* event) {
    dragging_ = event->button() == Qt::LeftButton;
}

void VoTrackThumb::mouseMoveEvent(QMouseEvent* event) {
    // Only a plain left-button drag moves the thumb.
    if (!dragging_ || event->buttons() != Qt::LeftButton || event->modifiers() != Qt::NoModifier) return;
    const int x = std::clamp(parentWidget()->mapFromGlobal(event->globalPosition().toPoint()).x(), minimumX_, maximumX_);
    move(x, y());
    bar_.ThumbMoved(x);
}

void VoTrackThumb::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

VoTrackBar::VoTrackBar() = default;
VoTrackBar::~VoTrackBar() = default;

void VoTrackBar::Create(QWidget* parent) {
    parent_ = parent;
    thumb_ = new VoTrackThumb(parent, *this);  // a child: owned by the parent
    thumb_->show();
}

void VoTrackBar::SetColours(const QColor& thumb, const QColor& highlight) {
    if (thumb.isValid() && thumb_) thumb_->SetColour(thumb);
    if (highlight.isValid()) highlight_ = highlight;
}

void VoTrackBar::SetRect(const QRect& rect) {
    rect_ = rect;
    if (!thumb_) return;
    const int side = rect.height();
    thumb_->resize(side, side);
    thumb_->move(rect.left(), rect.top());
    thumb_->SetLimits(rect.left(), rect.left() + rect.width(), rect.top());
}

void VoTrackBar::SetValue(int value) {
    value_ = std::clamp(value, 0, 100);
    filled_ = rect_.width() * value_ / 100;
    if (thumb_) {
        thumb_->move(rect_.left() + filled_, rect_.top());
        thumb_->SetAccessibleValue(value_);
    }
    if (parent_) parent_->update(rect_.adjusted(0, 0, rect_.height() + 1, 0));
}

void VoTrackBar::ChooseValue(int value) {
    value = std::clamp(value, 0, 100);
    if (value == value_) return;
    SetValue(value);
    if (callback_) callback_(value);
}

void VoTrackBar::ThumbMoved(int x) {
    filled_ = x - rect_.left();
    if (parent_) parent_->update(rect_.adjusted(0, 0, rect_.height() + 1, 0));
    if (!callback_ || rect_.width() <= 0) return;
    const int value = filled_ * 100 / rect_.width();
    if (value == value_) return;
    value_ = value;
    if (thumb_) thumb_->SetAccessibleValue(value_);
    callback_(value);
}

void VoTrackBar::Draw(QPainter& painter) const {
    if (thumb_ && !thumb_->isVisible()) return;
    const QRect channel(rect_.left(), rect_.top() + (rect_.height() - thickness_) / 2, rect_.width(), thickness_);
    painter.fillRect(channel, QColor(0xEA, 0xEC, 0xEE));
    if (filled_ > 0) painter.fillRect(QRect(channel.left(), channel.top(), filled_, thickness_), highlight_);
}

void VoTrackBar::SetVisible(bool visible) {
    if (thumb_) thumb_->setVisible(visible);
}
