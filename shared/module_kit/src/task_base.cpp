#include "module_kit/task_base.h"

#include <bedrock/auto_release.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/vo_task_schedular.h>

#include <glog/logging.h>

namespace task_base {

std::shared_ptr<VoTask> CreateTask(VoTask::TaskFunc work) {
    LocalPool pool;
    auto task = std::make_shared<VoTask>();
    task->SetTaskId(BASUtilityApp::GetTaskId());
    AutoRelease::AddObject(task.get(), __FILE__, __LINE__, 0);
    AutoRelease::AddPoolObject(task);
    task->SetTaskFunc(std::move(work));
    return task;
}

std::shared_ptr<VoTaskEvent> CreateTaskEvent(const TaskList& tasks, VoTask::TaskFunc packageFinish,
                                             VoTask::TaskFunc eventFinish) {
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

std::shared_ptr<VoTaskEvent> CreateTaskEvent(const TaskList& tasks) {
    return CreateTaskEvent(tasks, &DoCommonPackageFinish, &DoCommonEventFinish);
}

std::string PostTaskEvent(const std::shared_ptr<VoTaskEvent>& event) {
    const std::string id = event->GetTaskId();
    VoTaskSchedular::Get()->PostTaskEvent(event);
    return id;
}

void DoCommonPackageFinish(const std::shared_ptr<VoTask>& package) {
    LOG(INFO) << "DoCommonPackageFinish" << package->GetTaskId();
    PassStatusOn(package);
}

void DoCommonEventFinish(const std::shared_ptr<VoTask>& event) {
    LOG(INFO) << "DoCommonEventFinish: " << event->GetTaskId();
    PassStatusOn(event);
}

void PassStatusOn(const std::shared_ptr<VoTask>& task) { NotifySchedular(task, task->GetStatus()); }

}  // namespace task_base
