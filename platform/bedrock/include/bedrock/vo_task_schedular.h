// The one scheduler: registers events, runs their tasks on the pool, tracks
// the end of tasks, packages and events.
#ifndef BEDROCK_VO_TASK_SCHEDULAR_H
#define BEDROCK_VO_TASK_SCHEDULAR_H

#include "bedrock_export.h"
#include "vo_task.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class BEDROCK_EXPORT VoTaskSchedular {
public:
    static VoTaskSchedular* Get();

    // Makes the event and everything in it findable by id.
    void RegisterTaskEvent(const std::shared_ptr<VoTaskEvent>& event);
    // Runs every task of the event on the pool (registers it first if needed).
    void PostTaskEvent(const std::shared_ptr<VoTaskEvent>& event);
    // Sets status 5 on the event and on all it holds that is still open, and
    // ends the event: nothing of it can be found afterwards and its finish
    // functions do not run. Returns false when no registered event has the id.
    bool StopTaskEvent(const std::string& eventId);
    // A task, package or event of a registered event, or null.
    std::shared_ptr<VoTask> FindTask(const std::string& id) const;
    // The tasks still open in the same event as the given one.
    void FindCurrentTasks(const std::shared_ptr<VoTask>& task,
                          std::vector<std::shared_ptr<VoTask>>& out) const;

    void NotifySchedular(const std::shared_ptr<VoTask>& task, VoTaskStatus1 status);

    size_t RegisteredEventCount() const;

private:
    VoTaskSchedular() = default;
    bool RegisterLocked(const std::shared_ptr<VoTaskEvent>& event);
    void Unregister(const std::shared_ptr<VoTaskEvent>& event);
    static void RunWork(const std::shared_ptr<VoTask>& task);

    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<VoTaskEvent>> events_;
    std::map<std::string, std::weak_ptr<VoTask>> index_;
};

#endif  // BEDROCK_VO_TASK_SCHEDULAR_H
