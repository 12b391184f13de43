#include "presenter/vo_up_down.h"

#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>

#include <algorithm>

VoUpDown::VoUpDown(QWidget* parent) : VoAccessibleValue(parent, QAccessible::SpinBox) {
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {up_, down_}) {
        button->setAutoRepeat(true);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    up_->setAccessibleName(QStringLiteral("+1"));
    down_->setAccessibleName(QStringLiteral("-1"));
    QObject::connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
    QObject::connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    setFocusPolicy(Qt::TabFocus);
    SetRange(0, 100);
    SetAccessibleValue(position_);
    SetSuffix(QStringLiteral("%"));
    SetSetter([this](int value) { Step(value - position_); });
}

void VoUpDown::SetPosition(int position) {
    position_ = std::clamp(position, 0, 100);
    SetAccessibleValue(position_);
}

void VoUpDown::Step(int delta) {
    SetPosition(position_ + delta);
    if (changed_) changed_(position_);
}

void VoUpDown::resizeEvent(QResizeEvent*) {
    up_->setGeometry(0, 0, width(), height() / 2);
    down_->setGeometry(0, height() / 2, width(), height() - height() / 2);
}

void VoUpDown::paintEvent(QPaintEvent*) {
    if (!hasFocus()) return;
    // The arrows are flat: a frame shows that Up and Down act here.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void VoUpDown::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) return Step(+1);
    if (event->key() == Qt::Key_Down) return Step(-1);
    QWidget::keyPressEvent(event);
}
