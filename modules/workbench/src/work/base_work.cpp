#include "work/base_work.h"

#include <module_kit/task_base.h>

std::shared_ptr<VoTask> BaseWork::MakeRequestTask(VoTask::TaskFunc work) {
    return task_base::CreateTask(std::move(work));
}

std::string BaseWork::PostSingleTaskEvent(const std::shared_ptr<VoTask>& task) {
    return task_base::PostTaskEvent(task_base::CreateTaskEvent({task}));
}
