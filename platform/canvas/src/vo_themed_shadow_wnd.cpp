#include "canvas/vo_themed_shadow_wnd.h"

#include "canvas/window_system.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

VoThemedShadowWnd::VoThemedShadowWnd()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

VoThemedShadowWnd::~VoThemedShadowWnd() {
    if (owner_) owner_->removeEventFilter(this);
}

bool VoThemedShadowWnd::CanShowTranslucency() { return WindowSystem::CanShowCompanionShadows(); }

void VoThemedShadowWnd::Create(QWidget* owner) {
    if (owner_) owner_->removeEventFilter(this);
    owner_ = owner;
    if (owner_) owner_->installEventFilter(this);
    Follow();
}

void VoThemedShadowWnd::SetShadowSize(int sizePx) {
    shadowSize_ = sizePx < 0 ? 0 : sizePx;
    Follow();
    update();
}

void VoThemedShadowWnd::Follow() {
    if (!owner_) return;
    setGeometry(owner_->geometry().adjusted(-shadowSize_, -shadowSize_, shadowSize_, shadowSize_));
    // A companion follows a top-level window only: a child moves with its
    // parent and draws whatever edge it wants itself.
    const bool show = owner_->isWindow() && owner_->isVisible() && !owner_->isMinimized() && shadowSize_ > 0 &&
                      CanShowTranslucency();
    if (show && !isVisible()) {
        QWidget::show();
        owner_->raise();
    } else if (!show && isVisible()) {
        hide();
    }
}

bool VoThemedShadowWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == owner_) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
            Follow();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void VoThemedShadowWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    // Concentric rounded outlines, fading outward: a soft shadow without
    // blurring a buffer on every move.
    for (int i = 0; i < shadowSize_; ++i) {
        const int alpha = 28 * (shadowSize_ - i) / shadowSize_;
        painter.setPen(QPen(QColor(0, 0, 0, alpha), 1.0));
        painter.setBrush(Qt::NoBrush);
        const QRectF r = QRectF(rect()).adjusted(i + 0.5, i + 0.5, -i - 0.5, -i - 0.5);
        painter.drawRoundedRect(r, 4.5 + shadowSize_ - i, 4.5 + shadowSize_ - i);
    }
}
