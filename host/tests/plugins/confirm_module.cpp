// A module for the end-to-end test of the dialogs: when the host asks it to
// create its window it asks the user a question from a worker thread, as a
// real module's task would, and writes the answer to the file named by
// PIXBRIDGE_CONFIRM_ANSWER.
#include <pixbridge/command_names.h>
#include <pixbridge/host_payloads.h>
#include <pixbridge/module_contract.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

ModuleContext* context = nullptr;
char16_t question[] = u"Remove the 3 ticked photos from the list?";

void WriteAnswer(bool confirmed) {
    const char* path = std::getenv("PIXBRIDGE_CONFIRM_ANSWER");
    if (!path) return;
    if (FILE* f = std::fopen(path, "w")) {
        std::fputs(confirmed ? "confirmed\n" : "declined\n", f);
        std::fclose(f);
    }
}

int32_t Receive(ModuleCommand* command) {
    if (!command || !command->command || std::strcmp(command->command, "PROBE_CONFIRM_CREATE") != 0) return 0;
    ModulePostFn post = context->post;
    void* self = context->instance;
    std::thread([post, self] {
        ModuleCommand c{};
        c.command = LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE;
        c.sender = self;
        c.wideText = question;
        c.number = 400;
        c.result = new ConfirmCallback(&WriteAnswer);  // the host's from here
        post(&c);
    }).detach();
    return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void RegisterModule(ModuleContext* moduleContext) {
    context = moduleContext;
    context->receive = &Receive;
}
