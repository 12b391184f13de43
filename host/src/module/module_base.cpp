#include "module_base.h"

#include <bedrock/auto_release.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/vo_task_schedular.h>

#include <glog/logging.h>

namespace module_base {

std::shared_ptr<VoTaskEvent> CreateTaskEvent(const std::vector<std::shared_ptr<VoTask>>& tasks,
                                             VoTask::TaskFunc packageFinish, VoTask::TaskFunc eventFinish) {
    LocalPool pool;
    auto package = std::make_shared<VoTaskPackage>();
    for (const auto& task : tasks) package->AddTask(task);
    package->SetTaskId(BASUtilityApp::GetTaskId());
    AutoRelease::AddObject(package.get(), __FILE__, __LINE__, 0);
    AutoRelease::AddPoolObject(package);
    package->SetTaskFunc(std::move(packageFinish));

    auto event = std::make_shared<VoTaskEvent>();
    event->SetTaskId(BASUtilityApp::GetTaskId());
    event->AddPackage(package);
    AutoRelease::AddObject(event.get(), __FILE__, __LINE__, 0);
    AutoRelease::AddPoolObject(event);
    event->SetTaskFunc(std::move(eventFinish));

    VoTaskSchedular::Get()->RegisterTaskEvent(event);
    return event;
}

void DoCommonPackageFinish(const std::shared_ptr<VoTask>& package) {
    LOG(INFO) << "DoCommonPackageFinish";
    NotifySchedular(package, package->GetStatus());
}

void DoCommonEventFinish(const std::shared_ptr<VoTask>& event) {
    LOG(INFO) << "DoCommonEventFinish";
    NotifySchedular(event, event->GetStatus());
}

std::string PostTask(VoTask::TaskFunc work, std::shared_ptr<void> data) {
    LocalPool pool;
    auto task = std::make_shared<VoTask>();
    task->SetTaskId(BASUtilityApp::GetTaskId());
    AutoRelease::AddObject(task.get(), __FILE__, __LINE__, 0);
    AutoRelease::AddPoolObject(task);
    task->SetTaskFunc(std::move(work));
    if (data) task->SetTaskData(std::move(data));
    std::shared_ptr<VoTaskEvent> event = CreateTaskEvent({task}, &DoCommonPackageFinish, &DoCommonEventFinish);
    VoTaskSchedular::Get()->PostTaskEvent(event);
    return event->GetTaskId();
}

}  // namespace module_base
