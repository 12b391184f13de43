#include "work/base_work.h"

#include <bedrock/auto_release.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/vo_task_schedular.h>

#include <glog/logging.h>

#include <map>

std::shared_ptr<VoTask> BaseWork::MakeRequestTask(VoTask::TaskFunc work) {
    auto task = std::make_shared<VoTask>();
    task->SetTaskId(BASUtilityApp::GetTaskId());
    AutoRelease::AddObject(task.get(), __FILE__, __LINE__);
    task->SetTaskFunc(std::move(work));
    return task;
}

std::string BaseWork::PostSingleTaskEvent(const std::shared_ptr<VoTask>& task) {
    LocalPool pool;

    auto package = std::make_shared<VoTaskPackage>();
    package->AddTask(task);
    package->SetTaskId(BASUtilityApp::GetTaskId());
    AutoRelease::AddObject(package.get(), __FILE__, __LINE__);
    package->SetTaskFunc(&BaseWork::DoCommonPackageFinish);
    package->SetTaskData(std::make_shared<std::map<std::string, std::string>>());

    auto event = std::make_shared<VoTaskEvent>();
    event->SetTaskId(BASUtilityApp::GetTaskId());
    event->AddPackage(package);
    AutoRelease::AddObject(event.get(), __FILE__, __LINE__);
    event->SetTaskFunc(&BaseWork::DoCommonEventFinish);

    const std::string eventId = event->GetTaskId();
    VoTaskSchedular::Get()->PostTaskEvent(event);
    return eventId;
}

void BaseWork::DoCommonPackageFinish(const std::shared_ptr<VoTask>& package) {
    LOG(INFO) << "DoCommonPackageFinish" << package->GetTaskId();
    NotifySchedular(package, package->GetStatus());
}

void BaseWork::DoCommonEventFinish(const std::shared_ptr<VoTask>& event) {
    LOG(INFO) << "DoCommonEventFinish: " << event->GetTaskId();
    NotifySchedular(event, event->GetStatus());
}
