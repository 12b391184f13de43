#include "module/host_link.h"

#include <bedrock/bas_utility_string.h>
#include <pixbridge/command_names.h>

#include <glog/logging.h>

#include <cmath>
#include <cstdlib>
#include <memory>

void HostLink::PostPlain(const char* name) const {
    ModuleCommand command = MakeCommand(name);
    Post(command);
}

float HostLink::DpiScale() const {
    ModuleCommand query = MakeCommand(LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT);
    if (!Post(query) || query.result == nullptr) return 1.0f;
    // The host allocates the float for us; it is ours to release.
    std::unique_ptr<float> scale(static_cast<float*>(query.result));
    // A scale that is not a positive number would collapse or flip the layout.
    if (std::isfinite(*scale) && *scale > 0.0f && *scale < 16.0f) return *scale;
    LOG(WARNING) << "title bar ignores display scale " << *scale;
    return 1.0f;
}

const QFont* HostLink::Font(const char* key) const {
    ModuleCommand query = MakeCommand(LIBPLATFORM_COMMAND_GET_GDIPLUS_FONT);
    query.text = const_cast<char*>(key);
    if (!Post(query)) return nullptr;
    return static_cast<const QFont*>(query.result);
}

const QImage* HostLink::Image(const char* name) const {
    ModuleCommand query = MakeCommand(LIBPLATFORM_COMMAND_FIND_IMAGE);
    query.text = const_cast<char*>(name);
    if (!Post(query)) return nullptr;
    return static_cast<const QImage*>(query.result);
}

std::u16string HostLink::ProductName() const {
    ModuleCommand query = MakeCommand(LIBPLATFORM_COMMAND_GET_PRODUCT_ALIAS);
    if (!Post(query) || query.text == nullptr) return std::u16string();
    // A copy made for us with strdup.
    std::unique_ptr<char, decltype(&free)> text(query.text, &free);
    return BASUtilityString::Utf8ToUtf16(text.get());
}

std::string HostLink::Url(const char* key) const {
    ModuleCommand query = MakeCommand(LIBPLATFORM_COMMAND_FIND_URL);
    query.text = const_cast<char*>(key);
    if (!Post(query) || query.result == nullptr) return std::string();
    // Host-owned: copied, never freed.
    return std::string(static_cast<const char*>(query.result));
}

int HostLink::PressMaxOrReset() const {
    ModuleCommand command = MakeCommand(LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET);
    // Anything but the host's 0 or 1 means nobody answered.
    command.number = -1;
    if (!Post(command)) return -1;
    return command.number == 0 || command.number == 1 ? static_cast<int>(command.number) : -1;
}

void HostLink::PressMinimize() const { PostPlain(LIBPLATFORM_COMMAND_PRESS_MINIMIZE); }

bool HostLink::PressClose() const {
    ModuleCommand command = MakeCommand(LIBPLATFORM_COMMAND_PRESS_CLOSE);
    if (!Post(command)) return false;
    return command.number == 1;
}

void HostLink::OpenSettings() const { PostPlain(LIBPLATFORM_COMMAND_OPEN_SETTING); }

void HostLink::OpenAbout() const { PostPlain(LIBPLATFORM_COMMAND_OPEN_ABOUT); }

void HostLink::CheckForUpdate() const {
    ModuleCommand command = MakeCommand(LIBPLATFORM_COMMAND_CHECK_FOR_UPDATE);
    command.number = 1;
    Post(command);
}
