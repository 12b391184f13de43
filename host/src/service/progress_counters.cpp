#include "progress_counters.h"

#include "app/host_instance.h"

ProgressCounters::ProgressCounters() { host_instance::Install(this); }
ProgressCounters::~ProgressCounters() { host_instance::Remove(this); }

ProgressCounters& ProgressCounters::Get() { return host_instance::Current<ProgressCounters>(); }

void ProgressCounters::Begin() {
    Reset();
    finished_.store(false);
    running_.store(true);
}

void ProgressCounters::End() { running_.store(false); }

void ProgressCounters::MarkFinished() {
    if (!running_.exchange(false)) return;
    finished_.store(true);
}

void ProgressCounters::Reset() {
    position_.store(0);
    total_.store(0);
    failures_.store(0);
    std::lock_guard<std::mutex> lock(mutex_);
    description_.clear();
    newFailures_.clear();
}

void ProgressCounters::SetPosition(int32_t position) {
    if (running_.load()) position_.exchange(position);
}

void ProgressCounters::SetTotal(int32_t total) {
    if (running_.load()) total_.exchange(total);
}

void ProgressCounters::AddFailures(int32_t count, const std::u16string& path) {
    if (!running_.load()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    // Under the lock, so the numbers in the log follow the order of the lines.
    const int32_t after = failures_.fetch_add(count) + count;
    newFailures_.push_back({after, path});
}

void ProgressCounters::SetDescription(const std::u16string& text) {
    if (!running_.load()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    description_ = text;
}

std::u16string ProgressCounters::Description() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return description_;
}

std::vector<ProgressCounters::Failure> ProgressCounters::TakeNewFailures() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Failure> out;
    out.swap(newFailures_);
    return out;
}
