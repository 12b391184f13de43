#include "bedrock/vo_task_schedular.h"

#include "bedrock/vo_task_pool.h"

namespace {

// True when every child has ended; `summary` is then stopped if any was
// stopped, else failed if any failed, else finished.
template <typename Children>
bool AllEnded(const Children& children, VoTaskStatus1& summary) {
    bool anyFailed = false, anyStopped = false;
    for (const auto& child : children) {
        if (!child->IsEnded()) return false;
        anyFailed = anyFailed || child->GetStatus() == VoTaskStatusFailed;
        anyStopped = anyStopped || child->GetStatus() == VoTaskStatusStopped;
    }
    summary = anyStopped ? VoTaskStatusStopped : anyFailed ? VoTaskStatusFailed : VoTaskStatusFinished;
    return true;
}

}  // namespace

VoTaskSchedular* VoTaskSchedular::Get() {
    // Never destroyed: pool threads may still finish work during exit.
    static VoTaskSchedular* instance = new VoTaskSchedular();
    return instance;
}

void VoTaskSchedular::RegisterTaskEvent(const std::shared_ptr<VoTaskEvent>& event) {
    if (!event) return;
    std::lock_guard<std::mutex> lock(mutex_);
    RegisterLocked(event);
}

bool VoTaskSchedular::RegisterLocked(const std::shared_ptr<VoTaskEvent>& event) {
    // An ended event stays ended: registering it again would bring a stopped
    // event back, findable for ever.
    if (event->ended_.load()) return false;
    const std::string id = event->GetTaskId();
    if (events_.count(id)) return false;
    events_[id] = event;
    index_[id] = event;
    for (const auto& package : event->GetPackages()) {
        {
            std::lock_guard<std::mutex> taskLock(package->mutex_);
            package->event_ = event;
        }
        index_[package->GetTaskId()] = package;
        for (const auto& task : package->GetTasks()) {
            {
                std::lock_guard<std::mutex> taskLock(task->mutex_);
                task->event_ = event;
            }
            index_[task->GetTaskId()] = task;
        }
    }
    return true;
}

void VoTaskSchedular::PostTaskEvent(const std::shared_ptr<VoTaskEvent>& event) {
    if (!event) return;
    {
        // Posted once: a second post of the same event (or one that has
        // ended) must not run its tasks again.
        std::lock_guard<std::mutex> lock(mutex_);
        if (event->ended_.load() || event->posted_) return;
        RegisterLocked(event);
        event->posted_ = true;
    }

    bool anyTask = false;
    for (const auto& package : event->GetPackages()) {
        const auto tasks = package->GetTasks();
        if (tasks.empty()) {
            // Nothing to wait for: the package is finished as soon as it runs.
            NotifySchedular(package, VoTaskStatusFinished);
            continue;
        }
        for (const auto& task : tasks) {
            anyTask = true;
            VoTaskPool::Get()->Enqueue([task] { RunWork(task); });
        }
    }
    if (!anyTask && event->GetPackages().empty()) NotifySchedular(event, VoTaskStatusFinished);
}

void VoTaskSchedular::RunWork(const std::shared_ptr<VoTask>& task) {
    // A task of an event that was stopped before the task got a thread never runs.
    if (task->IsEnded()) return;
    if (VoTask::TaskFunc func = task->GetTaskFunc()) func(task);
}

bool VoTaskSchedular::StopTaskEvent(const std::string& eventId) {
    std::shared_ptr<VoTaskEvent> event;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = events_.find(eventId);
        if (it == events_.end()) return false;
        event = it->second;
        // Already ended (its own NotifySchedular is on the way out): a stop
        // must not turn a finished event into a stopped one.
        if (event->ended_.load()) return false;
        for (const auto& package : event->GetPackages()) {
            for (const auto& task : package->GetTasks()) {
                if (!task->ended_.exchange(true)) task->status_.store(VoTaskStatusStopped);
            }
            if (!package->ended_.exchange(true)) package->status_.store(VoTaskStatusStopped);
        }
        event->status_.store(VoTaskStatusStopped);
        event->ended_.store(true);
    }
    Unregister(event);
    return true;
}

std::shared_ptr<VoTask> VoTaskSchedular::FindTask(const std::string& id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = index_.find(id);
    if (it == index_.end()) return nullptr;
    return it->second.lock();
}

void VoTaskSchedular::FindCurrentTasks(const std::shared_ptr<VoTask>& task,
                                       std::vector<std::shared_ptr<VoTask>>& out) const {
    if (!task) return;
    std::shared_ptr<VoTaskEvent> event = task->GetEvent();
    if (!event) return;
    for (const auto& package : event->GetPackages()) {
        for (const auto& other : package->GetTasks()) {
            if (!other->IsEnded()) out.push_back(other);
        }
    }
}

void VoTaskSchedular::NotifySchedular(const std::shared_ptr<VoTask>& task, VoTaskStatus1 status) {
    if (!task) return;
    if (status == VoTaskStatusPending) status = VoTaskStatusFinished;

    // Ending is decided under the scheduler's lock so that of two threads that
    // end the last two tasks of a package, exactly one sees the package done.
    std::shared_ptr<VoTask> next;
    VoTaskStatus1 nextStatus = VoTaskStatusFinished;
    std::shared_ptr<VoTaskEvent> finishedEvent;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (task->ended_.load()) return;
        task->status_.store(status);
        task->ended_.store(true);

        if (task->level_ == VoTask::kEvent) {
            finishedEvent = std::static_pointer_cast<VoTaskEvent>(task);
        } else if (task->level_ == VoTask::kPackage) {
            std::shared_ptr<VoTaskEvent> event = task->GetEvent();
            if (event && !event->ended_.load() && AllEnded(event->GetPackages(), nextStatus)) {
                event->status_.store(nextStatus);
                next = event;
            }
        } else {
            std::shared_ptr<VoTaskPackage> package = task->GetPackage();
            if (package && !package->ended_.load() && AllEnded(package->GetTasks(), nextStatus)) {
                package->status_.store(nextStatus);
                next = package;
            }
        }
    }

    if (finishedEvent) {
        Unregister(finishedEvent);
        return;
    }
    if (!next) return;
    // The finish function runs on the pool, never inside the caller's stack:
    // the caller may be a bus delivery holding its own state.
    VoTaskPool::Get()->Enqueue([next, nextStatus] {
        if (VoTask::TaskFunc func = next->GetTaskFunc()) {
            func(next);
        } else {
            VoTaskSchedular::Get()->NotifySchedular(next, nextStatus);
        }
    });
}

void VoTaskSchedular::Unregister(const std::shared_ptr<VoTaskEvent>& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.erase(event->GetTaskId());
    index_.erase(event->GetTaskId());
    for (const auto& package : event->GetPackages()) {
        index_.erase(package->GetTaskId());
        for (const auto& task : package->GetTasks()) index_.erase(task->GetTaskId());
    }
}

size_t VoTaskSchedular::RegisteredEventCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.size();
}
