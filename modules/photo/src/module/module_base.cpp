#include "module_base.h"

#include <bedrock/auto_release.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/vo_task_schedular.h>

#include <glog/logging.h>

#include <cstdlib>
#include <cstring>

namespace module_base {
namespace {

// Written once by RegisterModule before any command arrives; read only after.
ModuleContext* context = nullptr;

}  // namespace

void SetContext(ModuleContext* ctx) { context = ctx; }
ModuleContext* Context() { return context; }
void* Self() { return context ? context->instance : nullptr; }

void Post(ModuleCommand* command) {
    if (!context || !context->post) return;
    command->sender = context->instance;
    context->post(command);
}

std::shared_ptr<VoTask> CreateCommandTask(const ModuleCommand* command) {
    LocalPool pool;
    auto task = std::make_shared<VoTask>();
    task->SetTaskId(BASUtilityApp::GetTaskId());
    AutoRelease::AddObject(task.get(), __FILE__, __LINE__, 0);
    AutoRelease::AddPoolObject(task);
    task->SetTaskFunc([](const std::shared_ptr<VoTask>&) {});

    auto data = std::make_shared<TaskDataBase>();
    data->requester = command->sender;
    if (command->id) data->requesterTaskId = command->id;
    if (command->text) data->payload = command->text;
    task->SetTaskData(data);
    return task;
}

std::shared_ptr<VoTaskEvent> CreateTaskEvent(const std::vector<std::shared_ptr<VoTask>>& tasks) {
    LocalPool pool;
    auto package = std::make_shared<VoTaskPackage>();
    for (const auto& task : tasks) package->AddTask(task);
    package->SetTaskId(BASUtilityApp::GetTaskId());
    AutoRelease::AddObject(package.get(), __FILE__, __LINE__, 0);
    AutoRelease::AddPoolObject(package);
    package->SetTaskFunc(&DoCommonPackageFinish);

    auto event = std::make_shared<VoTaskEvent>();
    event->SetTaskId(BASUtilityApp::GetTaskId());
    event->AddPackage(package);
    AutoRelease::AddObject(event.get(), __FILE__, __LINE__, 0);
    AutoRelease::AddPoolObject(event);
    event->SetTaskFunc(&DoCommonEventFinish);

    VoTaskSchedular::Get()->RegisterTaskEvent(event);
    return event;
}

void DoCommonPackageFinish(const std::shared_ptr<VoTask>& package) {
    LOG(INFO) << "DoCommonPackageFinish" << package->GetTaskId();
    NotifySchedular(package, package->GetStatus());
}

void DoCommonEventFinish(const std::shared_ptr<VoTask>& event) {
    LOG(INFO) << "DoCommonEventFinish: " << event->GetTaskId();
    NotifySchedular(event, event->GetStatus());
}

void StartRequest(ModuleCommand* command, VoTask::TaskFunc work) {
    const char* request = static_cast<const char*>(command->data);
    LOG(INFO) << (request ? request : "");
    std::shared_ptr<VoTask> task = CreateCommandTask(command);
    task->GetTaskDataAs<TaskDataBase>()->payload = request ? request : "";
    task->ResetFunc();
    task->SetTaskFunc(std::move(work));
    std::shared_ptr<VoTaskEvent> event = CreateTaskEvent({task});
    VoTaskSchedular::Get()->PostTaskEvent(event);
    // The requester's own id text stays the requester's; it gets a fresh
    // copy of the event id in its place.
    command->id = strdup(event->GetTaskId().c_str());
}

}  // namespace module_base
