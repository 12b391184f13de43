#include "bedrock/vo_task_pool.h"

#include <glog/logging.h>

#include <signal.h>

#include <exception>
#include <memory>

VoTaskPool* VoTaskPool::Get() {
    static VoTaskPool pool;
    return &pool;
}

VoTaskPool::~VoTaskPool() { Deactivate(); }

void VoTaskPool::Activate(int threads) {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
    while (static_cast<int>(workers_.size()) < threads) {
        workers_.emplace_back([this] { WorkerLoop(); });
    }
}

void VoTaskPool::Enqueue(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void VoTaskPool::Deactivate() {
    std::vector<std::thread> workers;
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        workers.swap(workers_);
        // Work that has not started is not started at shutdown: a long
        // queue must not keep a closed program alive.
        dropped.swap(queue_);
    }
    wake_.notify_all();
    for (std::thread& worker : workers) {
        if (worker.get_id() == std::this_thread::get_id()) {
            worker.detach();
        } else {
            worker.join();
        }
    }
}

int VoTaskPool::ThreadCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(workers_.size());
}

void VoTaskPool::WorkerLoop() {
    // A stack of its own for signal handlers, so a stack overflow in a task
    // still reaches the crash reporter.
    constexpr size_t kAltStackBytes = 64 * 1024;
    std::unique_ptr<char[]> altStack(new char[kAltStackBytes]);
    stack_t stack{};
    stack.ss_sp = altStack.get();
    stack.ss_size = kAltStackBytes;
    sigaltstack(&stack, nullptr);
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) {  // stopping, and nothing left to do
                stack_t off{};
                off.ss_flags = SS_DISABLE;
                sigaltstack(&off, nullptr);
                return;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        // A throwing task must not take the whole program down with it.
        try {
            work();
        } catch (const std::exception& e) {
            LOG(ERROR) << "a task threw: " << e.what();
        } catch (...) {
            LOG(ERROR) << "a task threw";
        }
    }
}
