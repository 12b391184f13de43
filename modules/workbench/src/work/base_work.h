// The generic half of the work classes: a request becomes a task, and a task
// is posted inside its own package and event.
#ifndef WORKBENCH_BASE_WORK_H
#define WORKBENCH_BASE_WORK_H

#include <bedrock/bas_subject.h>
#include <bedrock/vo_task.h>

#include <memory>
#include <string>

class BaseWork : public BASSubject, public BASObserver {
public:
    BaseWork() = default;
    ~BaseWork() override = default;
    BaseWork(const BaseWork&) = delete;
    BaseWork& operator=(const BaseWork&) = delete;

    // A new task with a fresh id that runs `work`.
    static std::shared_ptr<VoTask> MakeRequestTask(VoTask::TaskFunc work);
    // Wraps `task` in a new package and event that end through the shared
    // finish functions, posts the event and returns the event's id.
    static std::string PostSingleTaskEvent(const std::shared_ptr<VoTask>& task);
};

#endif  // WORKBENCH_BASE_WORK_H
