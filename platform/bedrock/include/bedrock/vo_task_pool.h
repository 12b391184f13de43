// The worker threads that run scheduled work.
#ifndef BEDROCK_VO_TASK_POOL_H
#define BEDROCK_VO_TASK_POOL_H

#include "bedrock_export.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class BEDROCK_EXPORT VoTaskPool {
public:
    static VoTaskPool* Get();

    // Starts worker threads until there are `threads` of them.
    void Activate(int threads);
    // Queues work; it runs once a worker is free (work queued before
    // Activate waits for it).
    void Enqueue(std::function<void()> work);
    // Lets running work finish, drops work not yet started, then joins
    // every worker. Called at shutdown.
    void Deactivate();
    int ThreadCount() const;

    ~VoTaskPool();

private:
    VoTaskPool() = default;
    void WorkerLoop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
};

#endif  // BEDROCK_VO_TASK_POOL_H
