#include "host_context.h"

HostContext::HostContext() : dialogs_(std::make_unique<HostDialogs>()) {}

HostContext& HostContext::Get() {
    static HostContext* context = new HostContext();
    return *context;
}

HostDialogs& HostContext::Dialogs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return *dialogs_;
}

void HostContext::SetDialogs(std::unique_ptr<HostDialogs> dialogs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (dialogs) dialogs_ = std::move(dialogs);
}

std::u16string HostContext::LogFolder() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return logFolder_;
}

void HostContext::SetLogFolder(const std::u16string& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    logFolder_ = folder;
}
