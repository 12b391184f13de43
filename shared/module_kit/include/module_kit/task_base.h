// The task base: a piece of work runs as one task in one package in one event
// on the shared task pool, and the package and the event end through finish
// functions that log and pass the status on, so the level above can end.
#ifndef MODULE_KIT_TASK_BASE_H
#define MODULE_KIT_TASK_BASE_H

#include <bedrock/vo_task.h>

#include <memory>
#include <string>
#include <vector>

namespace task_base {

using TaskList = std::vector<std::shared_ptr<VoTask>>;

// A new task with a fresh id that runs `work`, recorded for the leak report.
std::shared_ptr<VoTask> CreateTask(VoTask::TaskFunc work);

// A registered, not yet posted, event over one package holding `tasks` in
// order; the package and the event end through the given finish functions.
std::shared_ptr<VoTaskEvent> CreateTaskEvent(const TaskList& tasks, VoTask::TaskFunc packageFinish,
                                             VoTask::TaskFunc eventFinish);
// The same, ending through DoCommonPackageFinish and DoCommonEventFinish.
std::shared_ptr<VoTaskEvent> CreateTaskEvent(const TaskList& tasks);

// Posts `event` on the pool: its tasks start on pool threads. Returns its id.
std::string PostTaskEvent(const std::shared_ptr<VoTaskEvent>& event);

// The finish functions of the modules' packages and events: a log line
// "DoCommonPackageFinish<id>" or "DoCommonEventFinish: <id>", then
// PassStatusOn.
void DoCommonPackageFinish(const std::shared_ptr<VoTask>& package);
void DoCommonEventFinish(const std::shared_ptr<VoTask>& event);

// Ends a package or an event with its own current status: what every finish
// function does once it has logged.
void PassStatusOn(const std::shared_ptr<VoTask>& task);

}  // namespace task_base

#endif  // MODULE_KIT_TASK_BASE_H
