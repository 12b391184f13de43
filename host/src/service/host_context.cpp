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

QRect RestoredRect(const QRect& remembered, const QRect& rememberedArea, const QRect& area) {
    if (area == rememberedArea || !area.isValid()) return remembered;
    QRect rect(remembered.topLeft() - rememberedArea.topLeft() + area.topLeft(),
               remembered.size().boundedTo(area.size()));
    // Wholly inside the new area: a smaller screen must not leave the title
    // bar out of reach.
    if (rect.right() > area.right()) rect.moveRight(area.right());
    if (rect.bottom() > area.bottom()) rect.moveBottom(area.bottom());
    if (rect.left() < area.left()) rect.moveLeft(area.left());
    if (rect.top() < area.top()) rect.moveTop(area.top());
    return rect;
}
