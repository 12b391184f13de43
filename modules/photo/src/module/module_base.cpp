#include "module_base.h"

#include <module_kit/module_bus.h>
#include <module_kit/task_base.h>

#include <glog/logging.h>

#include <cstring>

namespace module_base {
namespace {

// Written once by RegisterModule before any command arrives; read only after.
ModuleContext* context = nullptr;

}  // namespace

void SetContext(ModuleContext* ctx) { context = ctx; }
ModuleContext* Context() { return context; }
void* Self() { return context ? context->instance : nullptr; }

void Post(ModuleCommand* command) { BusOf(context).Post(*command); }

std::shared_ptr<VoTask> CreateCommandTask(const ModuleCommand* command) {
    // The caller installs the real work function.
    std::shared_ptr<VoTask> task = task_base::CreateTask([](const std::shared_ptr<VoTask>&) {});
    auto data = std::make_shared<TaskDataBase>();
    data->requester = command->sender;
    if (command->id) data->requesterTaskId = command->id;
    if (command->text) data->payload = command->text;
    task->SetTaskData(data);
    return task;
}

std::shared_ptr<VoTaskEvent> CreateTaskEvent(const std::vector<std::shared_ptr<VoTask>>& tasks) {
    return task_base::CreateTaskEvent(tasks);
}

void StartRequest(ModuleCommand* command, VoTask::TaskFunc work) {
    const char* request = static_cast<const char*>(command->data);
    LOG(INFO) << (request ? request : "");
    std::shared_ptr<VoTask> task = CreateCommandTask(command);
    task->GetTaskDataAs<TaskDataBase>()->payload = request ? request : "";
    task->ResetFunc();
    task->SetTaskFunc(std::move(work));
    const std::string eventId = task_base::PostTaskEvent(CreateTaskEvent({task}));
    // The requester's own id text stays the requester's; it gets a fresh
    // copy of the event id in its place.
    command->id = strdup(eventId.c_str());
}

}  // namespace module_base
