// The main-thread queue: callables queued from any thread run later on the
// main thread, in the order they were queued.
#ifndef CANVAS_DISPATCH_QUEUE_H
#define CANVAS_DISPATCH_QUEUE_H

#include "canvas_export.h"

#include <QEvent>

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class QObject;

class CANVAS_EXPORT DispatchQueue {
public:
    // The event type queued work arrives as.
    static constexpr QEvent::Type kEventType = static_cast<QEvent::Type>(2024);

    // `target` (the main window) receives every queued callable as an event
    // of type 2024 and hands it to RunEvent. Work queued before this call is
    // delivered now. Records the calling thread as the main thread.
    static void DispatchQueueInit(QObject* target);
    // The target is going away: work queued from now on is dropped (the
    // program is shutting down) instead of reaching a destroyed object.
    static void DispatchQueueStop(QObject* target);
    static DispatchQueue* DispatchGetMainQueue();
    static std::thread::id GetMainThreadId();
    static bool IsMainThread();

    // False when the work will never run (the main window is gone).
    bool DispatchAsync(std::function<void()> work);

    // For the target's event handler: runs the callable the event carries.
    // False for an event that is not queued work.
    static bool RunEvent(QEvent* event);

private:
    DispatchQueue() = default;
    std::mutex mutex_;
    QObject* target_ = nullptr;
    std::vector<std::function<void()>> pending_;
    bool stopped_ = false;
};

#endif  // CANVAS_DISPATCH_QUEUE_H
