#include "module/host_messages.h"

#include <pixbridge/command_names.h>

#include <vector>

namespace {

// The record points at a text of ours for the length of the post; the host
// copies what it keeps.
ModuleCommand MessageCommand(const char* name, std::vector<char16_t>& text, int32_t widthPx) {
    ModuleCommand command = MakeCommand(name);
    command.wideText = text.data();
    command.number = widthPx;
    return command;
}

std::vector<char16_t> Terminated(const std::u16string& text) {
    std::vector<char16_t> out(text.begin(), text.end());
    out.push_back(u'\0');
    return out;
}

}  // namespace

void HostMessages::Alert(const std::u16string& message, int32_t widthPx) {
    std::vector<char16_t> text = Terminated(message);
    ModuleCommand command = MessageCommand(LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE, text, widthPx);
    bus_.Post(command);
}

bool HostMessages::Confirm(const std::u16string& question, int32_t widthPx) {
    std::vector<char16_t> text = Terminated(question);
    ModuleCommand command = MessageCommand(LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE, text, widthPx);
    if (!bus_.Post(command)) return false;
    // The host answers 1 or 0 when it ran the dialog. A record that comes
    // back with our width in it was not answered (no host, or not posted on
    // the main thread): that is no permission to go ahead.
    return command.number == 1;
}
