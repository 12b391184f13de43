#include "module/reply_router.h"

#include "work/photo_reply.h"

#include <bedrock/vo_task_schedular.h>
#include <pixbridge/command_names.h>
#include <pixbridge/photo_results.h>

#include <QImage>

#include <cstring>
#include <memory>
#include <mutex>

namespace {

bool IsThumbnailReply(const ModuleCommand& command) {
    return command.command && strcmp(command.command, LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL) == 0;
}

// The image of a thumbnail reply that no handler took.
void ReleaseUntakenImage(const ModuleCommand& command) {
    if (!IsThumbnailReply(command) || command.data == nullptr) return;
    delete static_cast<ThumbnailResult*>(command.data)->image;
}

// A task keeps one reply in its data at a time; deliveries from different
// threads must not overwrite each other's. Recursive, so a handler that
// causes another delivery on its own thread does not deadlock.
std::recursive_mutex& DeliveryMutex() {
    static std::recursive_mutex* mutex = new std::recursive_mutex();
    return *mutex;
}

}  // namespace

bool DeliverPhotoReply(const ModuleCommand& command) {
    if (command.kind != kModuleCommandReply) return false;
    if (command.id == nullptr || command.data == nullptr) {
        ReleaseUntakenImage(command);
        return false;
    }

    std::lock_guard<std::recursive_mutex> lock(DeliveryMutex());
    std::shared_ptr<VoTask> task = VoTaskSchedular::Get()->FindTask(command.id);
    // Ids of packages and events are findable too, but only a request task
    // waits for replies. A finished task stays findable until its event has
    // ended; its reply stream is over all the same.
    const bool waiting = task && !task->IsEnded() && !dynamic_cast<VoTaskPackage*>(task.get()) &&
                         !dynamic_cast<VoTaskEvent*>(task.get());
    VoTask::TaskFunc handler = waiting ? task->GetTaskFunc() : nullptr;
    if (!handler) {
        ReleaseUntakenImage(command);
        return false;
    }

    PhotoReply reply;
    reply.command = command.command;
    reply.result = command.data;
    // The reply stays the sender's: the task only borrows it.
    task->SetTaskData(std::shared_ptr<void>(&reply, [](void*) {}));
    handler(task);
    task->ResetData();
    if (!reply.taken) ReleaseUntakenImage(command);
    return true;
}
