#include "main_view.h"

#include "plugin_util.h"
#include "service/host_context.h"

#include <pixbridge/command_names.h>

#include <QPainter>
#include <QResizeEvent>

#include <cstdint>
#include <cstring>

PixbridgeManagerView::PixbridgeManagerView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PixbridgeManagerView"));
    setAutoFillBackground(false);
}

void PixbridgeManagerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    int32_t size[2] = {static_cast<int16_t>(event->size().width()), static_cast<int16_t>(event->size().height())};
    ModuleCommand c;
    memset(&c, 0, sizeof c);
    c.command = LIBWINDOW_COMMAND_SIZE_CHANGE;
    c.window = this;
    c.data = size;
    plugin_util::PostFromHost(&c);
    update();
    HostContext::Get().Dialogs().MainViewResized();
}

void PixbridgeManagerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
}
