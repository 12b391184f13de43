#include "progress_counters.h"

ProgressCounters& ProgressCounters::Get() {
    static ProgressCounters* counters = new ProgressCounters();
    return *counters;
}

void ProgressCounters::Reset() {
    position_.store(0);
    total_.store(0);
    failures_.store(0);
    std::lock_guard<std::mutex> lock(mutex_);
    description_.clear();
    newFailures_.clear();
}

void ProgressCounters::AddFailures(int32_t count, const std::u16string& path) {
    failures_.fetch_add(count);
    std::lock_guard<std::mutex> lock(mutex_);
    newFailures_.push_back(path);
}

void ProgressCounters::SetDescription(const std::u16string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    description_ = text;
}

std::u16string ProgressCounters::Description() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return description_;
}

std::vector<std::u16string> ProgressCounters::TakeNewFailures() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::u16string> out;
    out.swap(newFailures_);
    return out;
}
