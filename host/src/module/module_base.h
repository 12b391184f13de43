// The host's own task base: runs a piece of the host's work (the update
// check and download) as one task in one package in one event on the
// shared task pool, as the modules run theirs. Unlike the modules' it takes
// the finish functions of the event it builds, posts a task at once, and
// logs the bare words at the ends.
#ifndef PIXBRIDGE_HOST_MODULE_BASE_H
#define PIXBRIDGE_HOST_MODULE_BASE_H

#include <bedrock/vo_task.h>

#include <memory>
#include <string>
#include <vector>

namespace module_base {

// A registered event over one package holding `tasks`, with the given
// finish functions for the package and the event.
std::shared_ptr<VoTaskEvent> CreateTaskEvent(const std::vector<std::shared_ptr<VoTask>>& tasks,
                                             VoTask::TaskFunc packageFinish, VoTask::TaskFunc eventFinish);
void DoCommonPackageFinish(const std::shared_ptr<VoTask>& package);
void DoCommonEventFinish(const std::shared_ptr<VoTask>& event);

// A new task running `work`, put in its own event and posted at once.
// Returns the event's id. `work` ends the task with NotifySchedular.
std::string PostTask(VoTask::TaskFunc work, std::shared_ptr<void> data = nullptr);

}  // namespace module_base

#endif  // PIXBRIDGE_HOST_MODULE_BASE_H
