#include "module_kit/module_bus.h"

#include <cstring>

bool ModuleBus::Post(ModuleCommand& command) const {
    if (!IsOpen()) return false;
    command.sender = instance;
    post(&command);
    return true;
}

ModuleBus BusOf(const ModuleContext* context) {
    ModuleBus bus;
    if (context) {
        bus.post = context->post;
        bus.instance = context->instance;
    }
    return bus;
}

ModuleCommand MakeCommand(const char* name) {
    ModuleCommand command;
    memset(&command, 0, sizeof command);
    command.command = name;
    return command;
}
