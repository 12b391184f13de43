// The host's answer to the modules' commands: fonts, images, URLs, paths,
// identity, DPI, progress, dialogs and module showing.
#ifndef PIXBRIDGE_HOST_HOST_COMMAND_SERVICE_H
#define PIXBRIDGE_HOST_HOST_COMMAND_SERVICE_H

#include <pixbridge/module_contract.h>

#include <vector>

// The receive function the host subscribes to every host command.
int32_t HostCommandService(ModuleCommand* command);
// The host commands in the order they are subscribed.
const std::vector<const char*>& HostCommandNames();
void SubscribeHostCommands();

#endif  // PIXBRIDGE_HOST_HOST_COMMAND_SERVICE_H
