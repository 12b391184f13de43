// How a control tells its parent it was used: the parent receives a command
// event carrying the control's id (5050 close, 5051 confirm ...), so a
// dialog's handler still reads "end with 5051".
#ifndef CANVAS_VO_COMMAND_H
#define CANVAS_VO_COMMAND_H

#include "canvas_export.h"

#include <QEvent>

class QWidget;

class VoCommandEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + 51);
    explicit VoCommandEvent(int id) : QEvent(kType), id_(id) {}
    int Id() const { return id_; }

private:
    int id_;
};

namespace Vo {

// Delivers the command `id` to `from`'s parent widget at once (synchronously).
CANVAS_EXPORT void SendCommand(QWidget* from, int id);
// The id of a command event, or -1 for any other event.
inline int CommandId(const QEvent* event) {
    return event && event->type() == VoCommandEvent::kType ? static_cast<const VoCommandEvent*>(event)->Id() : -1;
}

}  // namespace Vo

#endif  // CANVAS_VO_COMMAND_H
