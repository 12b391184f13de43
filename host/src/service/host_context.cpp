#include "host_context.h"

#include "app/host_instance.h"

HostContext::HostContext() : dialogs_(std::make_unique<HostDialogs>()) { host_instance::Install(this); }

HostContext::~HostContext() { host_instance::Remove(this); }

HostContext& HostContext::Get() { return host_instance::Current<HostContext>(); }

HostDialogs& HostContext::Dialogs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return *dialogs_;
}

void HostContext::SetDialogs(std::unique_ptr<HostDialogs> dialogs) {
    std::lock_guard<std::mutex> lock(mutex_);
    dialogs_ = dialogs ? std::move(dialogs) : std::make_unique<HostDialogs>();
}

std::u16string HostContext::LogFolder() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return logFolder_;
}

void HostContext::SetLogFolder(const std::u16string& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    logFolder_ = folder;
}
