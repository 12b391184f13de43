// Units of scheduled work: a task, a package of tasks, an event of packages.
#ifndef BEDROCK_VO_TASK_H
#define BEDROCK_VO_TASK_H

#include "bedrock_export.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

enum VoTaskStatus1 : int32_t {
    VoTaskStatusPending = 0,
    VoTaskStatusFinished = 1,
    VoTaskStatusStopped = 5,
    VoTaskStatusFailed = 6,
};

class VoTaskPackage;
class VoTaskEvent;

// A unit of work run by the scheduler's pool. Its work function may return
// without ending the task; the task stays open until NotifySchedular ends it.
class BEDROCK_EXPORT VoTask : public std::enable_shared_from_this<VoTask> {
public:
    using TaskFunc = std::function<void(const std::shared_ptr<VoTask>&)>;

    VoTask();
    virtual ~VoTask();
    VoTask(const VoTask&) = delete;
    VoTask& operator=(const VoTask&) = delete;

    void SetTaskId(uint64_t id);
    // The id as decimal text: the form it travels in on the bus.
    std::string GetTaskId() const;
    uint64_t GetNumericId() const { return numericId_.load(); }

    void SetTaskFunc(TaskFunc func);
    TaskFunc GetTaskFunc() const;
    void ResetFunc();

    void SetTaskData(std::shared_ptr<void> data);
    std::shared_ptr<void> GetTaskData() const;
    template <typename T>
    std::shared_ptr<T> GetTaskDataAs() const { return std::static_pointer_cast<T>(GetTaskData()); }
    void ResetData();

    VoTaskStatus1 GetStatus() const { return status_.load(); }
    bool IsEnded() const { return ended_.load(); }

    std::shared_ptr<VoTaskPackage> GetPackage() const;
    std::shared_ptr<VoTaskEvent> GetEvent() const;

private:
    friend class VoTaskSchedular;
    friend class VoTaskPackage;
    friend class VoTaskEvent;

    enum Level : int32_t { kTask = 0, kPackage = 1, kEvent = 2 };
    Level level_ = kTask;
    std::atomic<uint64_t> numericId_{0};
    std::atomic<VoTaskStatus1> status_{VoTaskStatusPending};
    std::atomic<bool> ended_{false};
    mutable std::mutex mutex_;
    TaskFunc func_;
    std::shared_ptr<void> data_;
    std::weak_ptr<VoTaskPackage> package_;
    std::weak_ptr<VoTaskEvent> event_;
};

// Tasks that finish together; its own work function runs once all have ended.
class BEDROCK_EXPORT VoTaskPackage : public VoTask {
public:
    VoTaskPackage();
    void AddTask(const std::shared_ptr<VoTask>& task);
    std::vector<std::shared_ptr<VoTask>> GetTasks() const;

private:
    friend class VoTaskSchedular;
    mutable std::mutex tasksMutex_;
    std::vector<std::shared_ptr<VoTask>> tasks_;
};

// Packages registered and posted together; finishes after its packages.
class BEDROCK_EXPORT VoTaskEvent : public VoTask {
public:
    VoTaskEvent();
    void AddPackage(const std::shared_ptr<VoTaskPackage>& package);
    std::vector<std::shared_ptr<VoTaskPackage>> GetPackages() const;

private:
    friend class VoTaskSchedular;
    mutable std::mutex packagesMutex_;
    std::vector<std::shared_ptr<VoTaskPackage>> packages_;
    bool posted_ = false;  // under the scheduler's lock
};

// Ends a task (or package, or event) with the given status. Ending the last
// open task of a package runs the package's work function, and so on up.
BEDROCK_EXPORT void NotifySchedular(const std::shared_ptr<VoTask>& task, VoTaskStatus1 status);

#endif  // BEDROCK_VO_TASK_H
