#include "canvas/vo_command.h"

#include <QCoreApplication>
#include <QWidget>

namespace Vo {

void SendCommand(QWidget* from, int id) {
    QWidget* parent = from ? from->parentWidget() : nullptr;
    if (!parent) return;
    VoCommandEvent event(id);
    QCoreApplication::sendEvent(parent, &event);
}

}  // namespace Vo
