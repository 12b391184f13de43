// TitlebarWindow: the band across the top of the main view. It shows the
// program's icon and name, a menu button and the minimise, maximise/restore
// and close buttons; dragging it moves the main window, a double-click
// maximises or restores it. Everything it asks of the host goes over the bus.
#ifndef TITLEBAR_TITLEBAR_WINDOW_H
#define TITLEBAR_TITLEBAR_WINDOW_H

#include "module/host_link.h"
#include "window/titlebar_layout.h"
#include "window/titlebar_menu.h"

#include <canvas/vo_img_button.h>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QMenu>
#include <QShortcut>
#include <QWidget>

#include <memory>

class TitlebarImages;

struct TitlebarColours {
    QColor background{0xF5, 0xF7, 0xFA};
    QColor title{0x3C, 0x46, 0x55};
    QColor line{0xE3, 0xE7, 0xED};
    MenuColours menu;
};

class TitlebarWindow : public QWidget {
public:
    // Control ids; a button's click reaches the band as a command with its id.
    enum ControlId { kMenuId = 6001, kMinimizeId = 6002, kMaximizeId = 6003, kCloseId = 6004 };

    // The images are the module's and outlive the window.
    TitlebarWindow(const HostLink& host, const TitlebarImages& images, const TitlebarColours& colours, float dpiScale,
                   QWidget* parent);
    ~TitlebarWindow() override;

    bool Maximised() const { return maximised_; }
    // The host says the window became maximised or normal by other means
    // than this band's button (LIBPLATFORM_COMMAND_WINDOW_STATE_CHANGE).
    void WindowStateChanged(bool maximised) { ShowMaximised(maximised); }
    QString Title() const { return title_; }
    const titlebar::Layout& CurrentLayout() const { return layout_; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    enum class Drag { kIdle, kPressed, kSystem, kManual };

    void BuildMenu();
    void OnCommand(int id);
    void ToggleMaximise();
    void ShowMaximised(bool maximised);
    void OpenMenu(bool fromKeyboard);
    void Run(const MenuItem& item);
    void Close();
    void StartDrag(const QPoint& globalPos);
    // The icon for the screen the band is on now.
    const QImage& Icon();

    HostLink host_;
    const TitlebarImages& images_;
    TitlebarColours colours_;
    float dpiScale_;
    titlebar::Layout layout_;

    QString title_;
    QFont titleFont_;
    const QImage* program_ = nullptr;  // the host's picture of the program
    QImage icon_;  // that picture at the icon's size, in the screen's device pixels
    bool maximised_ = false;

    Drag drag_ = Drag::kIdle;
    QPoint pressGlobal_;
    QPoint pressInWindow_;  // the cursor's offset from the main window's corner

    VoImgButton menuButton_;
    VoImgButton minimizeButton_;
    VoImgButton maximizeButton_;
    VoImgButton closeButton_;
    // The style outlives the menu that draws with it.
    std::unique_ptr<TitlebarMenuStyle> menuStyle_;
    QMenu menu_;
    QShortcut altF4_;
    QShortcut ctrlQ_;
    QShortcut altSpace_;
};

#endif  // TITLEBAR_TITLEBAR_WINDOW_H
