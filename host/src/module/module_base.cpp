#include "module_base.h"

#include <module_kit/task_base.h>

#include <glog/logging.h>

namespace module_base {

std::shared_ptr<VoTaskEvent> CreateTaskEvent(const std::vector<std::shared_ptr<VoTask>>& tasks,
                                             VoTask::TaskFunc packageFinish, VoTask::TaskFunc eventFinish) {
    return task_base::CreateTaskEvent(tasks, std::move(packageFinish), std::move(eventFinish));
}

void DoCommonPackageFinish(const std::shared_ptr<VoTask>& package) {
    LOG(INFO) << "DoCommonPackageFinish";
    task_base::PassStatusOn(package);
}

void DoCommonEventFinish(const std::shared_ptr<VoTask>& event) {
    LOG(INFO) << "DoCommonEventFinish";
    task_base::PassStatusOn(event);
}

std::string PostTask(VoTask::TaskFunc work, std::shared_ptr<void> data) {
    std::shared_ptr<VoTask> task = task_base::CreateTask(std::move(work));
    if (data) task->SetTaskData(std::move(data));
    return task_base::PostTaskEvent(CreateTaskEvent({task}, &DoCommonPackageFinish, &DoCommonEventFinish));
}

}  // namespace module_base
