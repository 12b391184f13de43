// A small module for the loader tests, built once per tag and version.
#include "probe_protocol.h"

#include <pixbridge/module_contract.h>

#include <pthread.h>

#include <cstring>

namespace {

ModuleContext* context = nullptr;
int64_t refuseClose = 0;
int32_t lastWidth = -1, lastHeight = -1;
int64_t shownOn = 0;

int32_t Receive(ModuleCommand* command) {
    if (strcmp(command->command, PROBE_RECORD) == 0) {
        if (command->data) static_cast<DeliveryLog*>(command->data)->Append(PROBE_TAG);
    } else if (strcmp(command->command, PROBE_VERSION) == 0) {
        command->number = PROBE_VERSION_NUMBER;
    } else if (strcmp(command->command, PROBE_WHO_AM_I) == 0) {
        command->result = context->instance;
    } else if (strcmp(command->command, PROBE_REFUSE_CLOSE) == 0) {
        refuseClose = command->number;
    } else if (strcmp(command->command, "LIBPLATFORM_COMMAND_CLOSE_ENSURE") == 0) {
        if (refuseClose) command->number = 1;
    } else if (strcmp(command->command, "LIBWINDOW_COMMAND_SIZE_CHANGE") == 0) {
        const auto* size = static_cast<const int32_t*>(command->data);
        lastWidth = size[0];
        lastHeight = size[1];
    } else if (strcmp(command->command, "LIBWINDOW_COMMAND_SHOW_WINDOW") == 0) {
        shownOn = static_cast<int64_t>(pthread_self());
    } else if (strcmp(command->command, PROBE_SHOWN_ON) == 0) {
        command->number = shownOn;
        shownOn = 0;
    } else if (strcmp(command->command, PROBE_LAST_SIZE) == 0) {
        command->total = lastWidth;
        command->current = lastHeight;
    } else if (strcmp(command->command, PROBE_BROADCAST_AS_ME) == 0) {
        ModuleCommand out;
        memset(&out, 0, sizeof out);
        out.command = PROBE_RECORD;
        out.data = command->data;
        out.sender = context->instance;
        context->post(&out);
    }
    return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void RegisterModule(ModuleContext* ctx) {
    context = ctx;
    ctx->receive = &Receive;
}
