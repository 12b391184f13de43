// CMainFrame: the frameless, round-cornered main window. It draws only its
// one-pixel border; the main view and the module windows inside it draw the
// rest. It owns the fonts, the dispatch target, the resize logic and the
// close protocol.
#ifndef PIXBRIDGE_HOST_MAIN_FRAME_H
#define PIXBRIDGE_HOST_MAIN_FRAME_H

#include "resize_zone.h"
#include "service/host_context.h"

#include <canvas/vo_themed_shadow_wnd.h>

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QWidget>

#include <memory>

class PixbridgeManagerView;

class CMainFrame : public QWidget, public MainWindowControl {
public:
    // The window's outer rectangle at creation (already scaled and centred).
    CMainFrame(const QRect& rect, float dpiScale);
    ~CMainFrame() override;

    PixbridgeManagerView* View() const { return view_; }
    // Timer 2: the automatic update check, once, 2000 ms from now.
    void StartUpdateTimer();
    static CMainFrame* Instance();

    // MainWindowControl
    QRect MainGeometry() const override;
    QRect WorkArea() const override;
    void PlaceMain(const QRect& rect) override;
    bool WindowSystemMaximises() const override;
    void ShowMaximised(bool maximised) override;
    bool IsMaximised() const override;
    QWidget* MainView() const override;
    void Minimise() override;
    bool RequestClose() override;

    // Places the main view directly (the frame lays it out again at its
    // next size change).
    void PlaceView(const QRect& rect);
    ResizeZone CurrentZone() const { return zone_; }
    int BorderWidth() const { return borderWidth_; }
    int BorderPenWidth() const { return borderPenWidth_; }

    // The outer rectangle of a main window of base size 954 x 614 at `scale`,
    // centred on a screen of the given size, in Qt's device-independent
    // pixels. The size is reckoned in device pixels first (954 x scale x
    // `deviceRatio`, truncated), so a "DPI" setting of 1.5 gives 1431 device
    // pixels at any ratio that whole layout pixels can reach.
    static QRect CentredRect(const QSize& screen, float scale, double deviceRatio = 1.0);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Rounded while the window floats; square when it fills a screen.
    void ApplyShape();
    bool HandleMouse(QObject* watched, QEvent* event);
    // A size change, whoever made it: the view follows at once when it has
    // not been laid out for a re-layout interval, else at the end of it.
    void ScheduleRelayout();
    void LayOutView();

    float dpiScale_ = 1.0f;
    int borderWidth_ = 1;
    int borderPenWidth_ = 2;
    PixbridgeManagerView* view_ = nullptr;
    std::unique_ptr<VoThemedShadowWnd> shadow_;
    QPoint lastPos_;
    ResizeZone zone_ = kZoneNone;
    bool overrideCursor_ = false;
    bool resizing_ = false;
    QRect sizingRect_;
    int sizingQueue_ = 0;
    QElapsedTimer lastRelayout_;
    // The state the modules know: the answer to the title bar's button, or
    // the last LIBPLATFORM_COMMAND_WINDOW_STATE_CHANGE.
    bool announcedMaximised_ = false;
    QBasicTimer relayoutTimer_;   // timer 1
    QBasicTimer updateTimer_;     // timer 2
};

#endif  // PIXBRIDGE_HOST_MAIN_FRAME_H
