// The host's message dialogs, reached over the bus: an alert that the host
// shows later on its main thread, and a confirmation that it answers.
#ifndef WORKBENCH_HOST_MESSAGES_H
#define WORKBENCH_HOST_MESSAGES_H

#include "photo/photo_list_interfaces.h"

#include <module_kit/module_bus.h>

class HostMessages : public PhotoAsker {
public:
    explicit HostMessages(ModuleBus bus) : bus_(bus) {}

    // LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE with the text and width.
    void Alert(const std::u16string& message, int32_t widthPx) override;
    // LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE, on the main thread; true
    // only when the host answers 1 (the user confirmed).
    bool Confirm(const std::u16string& question, int32_t widthPx) override;

private:
    ModuleBus bus_;
};

#endif  // WORKBENCH_HOST_MESSAGES_H
