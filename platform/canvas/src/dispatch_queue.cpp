#include "canvas/dispatch_queue.h"

#include <QCoreApplication>
#include <QObject>

#include <atomic>

namespace {

std::atomic<std::thread::id> mainThread{std::thread::id()};

// The callable rides in the event; Qt deletes the event after delivery, and
// with it whatever the callable held.
class DispatchEvent : public QEvent {
public:
    explicit DispatchEvent(std::function<void()> work) : QEvent(DispatchQueue::kEventType), work_(std::move(work)) {}
    void Run() {
        if (work_) work_();
    }

private:
    std::function<void()> work_;
};

}  // namespace

DispatchQueue* DispatchQueue::DispatchGetMainQueue() {
    static DispatchQueue* queue = new DispatchQueue();
    return queue;
}

void DispatchQueue::DispatchQueueInit(QObject* target) {
    mainThread.store(std::this_thread::get_id());
    DispatchQueue* queue = DispatchGetMainQueue();
    // Posted under the lock, so nothing queued meanwhile overtakes them.
    std::lock_guard<std::mutex> lock(queue->mutex_);
    queue->target_ = target;
    queue->stopped_ = false;
    for (auto& work : queue->pending_) QCoreApplication::postEvent(target, new DispatchEvent(std::move(work)));
    queue->pending_.clear();
}

void DispatchQueue::DispatchQueueStop(QObject* target) {
    DispatchQueue* queue = DispatchGetMainQueue();
    std::lock_guard<std::mutex> lock(queue->mutex_);
    if (queue->target_ != target) return;
    queue->target_ = nullptr;
    queue->stopped_ = true;
    queue->pending_.clear();
}

std::thread::id DispatchQueue::GetMainThreadId() { return mainThread.load(); }

bool DispatchQueue::IsMainThread() { return std::this_thread::get_id() == mainThread.load(); }

bool DispatchQueue::DispatchAsync(std::function<void()> work) {
    if (!work) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return false;
    if (!target_) {
        pending_.push_back(std::move(work));
        return true;
    }
    // postEvent is thread-safe and keeps the order of posts to one receiver;
    // posting under the lock keeps that order across threads too.
    QCoreApplication::postEvent(target_, new DispatchEvent(std::move(work)));
    return true;
}

bool DispatchQueue::RunEvent(QEvent* event) {
    if (!event || event->type() != kEventType) return false;
    static_cast<DispatchEvent*>(event)->Run();
    return true;
}
