// PixbridgeManagerView: the white child that covers the main window and
// parents the module windows; its size changes are announced on the bus.
#ifndef PIXBRIDGE_HOST_MAIN_VIEW_H
#define PIXBRIDGE_HOST_MAIN_VIEW_H

#include <QWidget>

class PixbridgeManagerView : public QWidget {
public:
    explicit PixbridgeManagerView(QWidget* parent);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

#endif  // PIXBRIDGE_HOST_MAIN_VIEW_H
