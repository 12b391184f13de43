// The task base of the photo module: turns a received request into one
// scheduled event (one package, one task) and reports the ends in the log,
// through the task base that every module shares.
#ifndef PIXBRIDGE_PHOTO_MODULE_BASE_H
#define PIXBRIDGE_PHOTO_MODULE_BASE_H

#include <bedrock/vo_task.h>
#include <pixbridge/module_contract.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The data attached to every task the base creates.
struct TaskDataBase {
    void* requester = nullptr;      // `target` of every reply
    std::string payload;            // the JSON request
    std::string requesterTaskId;    // `id` of every reply
    // Part of the shared record layout; this module leaves them empty.
    std::string extraText;
    std::string extraPath;
    std::vector<std::string> extraList;
    int32_t extraKind = 0;
    int32_t extraFlags = 0;
    bool extraSwitch = false;
};

namespace module_base {

void SetContext(ModuleContext* context);
ModuleContext* Context();
void* Self();

// Sends a record as this module: sets `sender` and posts it.
void Post(ModuleCommand* command);

// A task whose data is the request's TaskDataBase; its work function does
// nothing until the caller installs one.
std::shared_ptr<VoTask> CreateCommandTask(const ModuleCommand* command);
// A registered event over one package of `tasks`, ended by the shared
// finish functions (task_base::DoCommonPackageFinish, DoCommonEventFinish).
std::shared_ptr<VoTaskEvent> CreateTaskEvent(const std::vector<std::shared_ptr<VoTask>>& tasks);

// The whole answer to a request: logs it, schedules `work` with the request
// as the task's payload, and puts a malloc'd copy of the event's id into the
// record's `id` (the requester frees it).
void StartRequest(ModuleCommand* command, VoTask::TaskFunc work);

}  // namespace module_base

#endif  // PIXBRIDGE_PHOTO_MODULE_BASE_H
