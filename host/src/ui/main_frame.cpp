#include "main_frame.h"

#include "main_view.h"
#include "plugin_util.h"
#include "service/image_cache.h"

#include <canvas/dispatch_queue.h>
#include <canvas/window_system.h>
#include <pixbridge/command_names.h>

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

CMainFrame* instance = nullptr;

constexpr int kRelayoutIntervalMs = 200;
constexpr int kUpdateCheckDelayMs = 2000;

}  // namespace

CMainFrame* CMainFrame::Instance() { return instance; }

QRect CMainFrame::CentredRect(const QSize& screen, float scale, double deviceRatio) {
    const double ratio = deviceRatio > 0 ? deviceRatio : 1.0;
    auto length = [scale, ratio](int base) {
        // The scale was divided by the ratio: a hair more keeps 954 x 1.5
        // from landing on 1430.9999.
        const int devicePixels = static_cast<int>(base * static_cast<double>(scale) * ratio + 1e-3);
        return static_cast<int>(std::lround(devicePixels / ratio));
    };
    const int width = length(954);
    const int height = length(614);
    const int left = std::abs(screen.width() - width) / 2;
    const int top = std::abs(screen.height() - height) / 2;
    return QRect(left, top, width, height);
}

CMainFrame::CMainFrame(const QRect& rect, float dpiScale)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), dpiScale_(dpiScale) {
    // The window only: the dispatch target, the process-wide slot, shape and
    // border, the view, the shadow. The host application loads the modules
    // and creates their windows around it; a window starts nothing itself.
    DispatchQueue::DispatchQueueInit(this);
    instance = this;
    HostContext::Get().SetWindow(this);
    setObjectName(QStringLiteral("CMainFrame"));
    setGeometry(rect);

    ApplyShape();
    borderWidth_ = static_cast<int>(dpiScale_);
    if (borderWidth_ < 1) borderWidth_ = 1;
    borderPenWidth_ = 2 * borderWidth_;

    view_ = new PixbridgeManagerView(this);  // owned by this window
    view_->setGeometry(borderWidth_, borderWidth_, rect.width() - 2 * borderWidth_, rect.height() - 2 * borderWidth_);

    QImage* icon = ImageCache::Get().Find("application128x128.png");
    if (icon && !icon->isNull()) setWindowIcon(QIcon(QPixmap::fromImage(*icon)));

    qApp->installEventFilter(this);
    shadow_ = std::make_unique<VoThemedShadowWnd>();
    shadow_->Create(this);
    shadow_->SetShadowSize(9);
    lastPos_ = pos();
}

void CMainFrame::StartUpdateTimer() { updateTimer_.start(kUpdateCheckDelayMs, this); }

CMainFrame::~CMainFrame() {
    DispatchQueue::DispatchQueueStop(this);
    qApp->removeEventFilter(this);
    if (overrideCursor_) QGuiApplication::restoreOverrideCursor();
    HostContext::Get().SetWindow(nullptr);
    instance = nullptr;
}

QRect CMainFrame::MainGeometry() const { return geometry(); }

QRect CMainFrame::WorkArea() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1280, 800);
}

void CMainFrame::PlaceMain(const QRect& rect) {
    setGeometry(rect);
    show();
}

bool CMainFrame::WindowSystemMaximises() const { return WindowSystem::AppliesWindowStates(); }

void CMainFrame::ShowMaximised(bool maximised) {
    // Told first: the state change this causes is the one the title bar
    // learns from the command's answer, not news to announce.
    announcedMaximised_ = maximised;
    if (maximised) {
        showMaximized();
    } else {
        showNormal();
    }
}

bool CMainFrame::IsMaximised() const { return isMaximized(); }

void CMainFrame::PlaceView(const QRect& rect) {
    view_->setGeometry(rect);
    view_->show();
}

QWidget* CMainFrame::MainView() const { return view_; }

void CMainFrame::Minimise() { showMinimized(); }

bool CMainFrame::RequestClose() { return close(); }

void CMainFrame::ApplyShape() {
    if (width() == 0 || height() == 0) return;
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        clearMask();
        return;
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 4.5, 4.5);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

bool CMainFrame::event(QEvent* e) {
    if (DispatchQueue::RunEvent(e)) return true;
    return QWidget::event(e);
}

void CMainFrame::paintEvent(QPaintEvent*) {
    // The border follows the rounded outline, so the corners keep it too;
    // half the pen lies outside the window, leaving borderWidth inside.
    QPainter painter(this);
    painter.setPen(QPen(QColor(200, 200, 200), borderPenWidth_));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(rect()), 4.5, 4.5);
}

void CMainFrame::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    ApplyShape();
    // Whoever changed the size (a border drag, the window manager, a tiling
    // layout, a screen that went away, a new scale), the view and the
    // module windows follow; a burst of changes is laid out once per interval.
    sizingRect_ = geometry();
    ++sizingQueue_;
    ScheduleRelayout();
}

void CMainFrame::ScheduleRelayout() {
    if (relayoutTimer_.isActive()) return;
    const qint64 since = lastRelayout_.isValid() ? lastRelayout_.elapsed() : kRelayoutIntervalMs;
    relayoutTimer_.start(static_cast<int>(std::max<qint64>(0, kRelayoutIntervalMs - since)), this);
}

void CMainFrame::LayOutView() {
    view_->setGeometry(borderWidth_, borderWidth_, sizingRect_.width() - 2 * borderWidth_,
                       sizingRect_.height() - 2 * borderWidth_);
    sizingQueue_ = 0;
    lastRelayout_.start();
    update(QRect(0, 0, sizingRect_.width(), borderWidth_));
    update(QRect(0, 0, borderWidth_, sizingRect_.height()));
}

void CMainFrame::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange) return;
    ApplyShape();
    // A maximise or restore the title bar's button did not ask for: the
    // modules hear it, so the button shows what the window is.
    const bool maximised = isMaximized() || isFullScreen();
    if (maximised == announcedMaximised_) return;
    announcedMaximised_ = maximised;
    ModuleCommand c;
    memset(&c, 0, sizeof c);
    c.command = LIBPLATFORM_COMMAND_WINDOW_STATE_CHANGE;
    c.number = maximised ? 1 : 0;
    plugin_util::PostFromHost(&c);
}

void CMainFrame::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    const QPoint now = pos();
    HostContext::Get().Dialogs().MainWindowMoved(now.x() - lastPos_.x(), now.y() - lastPos_.y());
    lastPos_ = now;
}

void CMainFrame::timerEvent(QTimerEvent* e) {
    if (e->timerId() == relayoutTimer_.timerId()) {
        if (sizingQueue_ > 0) LayOutView();
        // While a border drag goes on, the view keeps following every interval.
        if (resizing_) {
            relayoutTimer_.start(kRelayoutIntervalMs, this);
        } else {
            relayoutTimer_.stop();
        }
        return;
    }
    if (e->timerId() == updateTimer_.timerId()) {
        // Once, shortly after start: an automatic (not user-asked) update check.
        updateTimer_.stop();
        ModuleCommand c;
        memset(&c, 0, sizeof c);
        c.window = view_;
        HostContext::Get().Dialogs().CheckForUpdate(c);
        return;
    }
    QWidget::timerEvent(e);
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    ModuleCommand c;
    memset(&c, 0, sizeof c);
    c.command = LIBPLATFORM_COMMAND_CLOSE_ENSURE;
    plugin_util::PostFromHost(&c);
    if (c.number != 0) {
        e->ignore();  // a module refused, and has told the user why
        return;
    }
    HostContext::Get().Dialogs().CloseAllLoading();
    e->accept();
    QCoreApplication::exit(0);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
    if ((e->type() == QEvent::MouseMove || e->type() == QEvent::MouseButtonPress ||
         e->type() == QEvent::MouseButtonRelease) &&
        HandleMouse(watched, e)) {
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

bool CMainFrame::HandleMouse(QObject* watched, QEvent* e) {
    // Only mouse events inside this window (or its children) take part; a
    // dialog or another top-level window keeps its own border.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this || isMaximized() || HostContext::Get().Maximised()) return false;
    auto* mouse = static_cast<QMouseEvent*>(e);
    if (e->type() == QEvent::MouseButtonRelease) {
        resizing_ = false;
        return false;
    }
    const QPoint local = mapFromGlobal(mouse->globalPosition().toPoint());
    if (e->type() == QEvent::MouseMove) {
        if (mouse->buttons() != Qt::NoButton) return false;
        zone_ = HitTestZone(local, rect());
        if (zone_ != kZoneNone) {
            if (overrideCursor_) QGuiApplication::changeOverrideCursor(CursorOfZone(zone_));
            else QGuiApplication::setOverrideCursor(CursorOfZone(zone_));
            overrideCursor_ = true;
            return true;
        }
        if (overrideCursor_) {
            QGuiApplication::restoreOverrideCursor();
            overrideCursor_ = false;
        }
        return false;
    }
    // Left button down.
    if (mouse->button() != Qt::LeftButton) return false;
    zone_ = HitTestZone(local, rect());
    if (zone_ == kZoneNone) {
        resizing_ = false;
        return false;
    }
    resizing_ = true;
    if (QWindow* handle = windowHandle()) handle->startSystemResize(EdgesOfZone(zone_));
    ScheduleRelayout();
    return true;
}
