#include "work/heic_work.h"

#include "work/photo_reply.h"

#include <bedrock/vo_task_schedular.h>
#include <pixbridge/command_names.h>
#include <pixbridge/photo_results.h>

#include <glog/logging.h>

#include <QImage>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

// Shared by the work object and every task it posted, so a reply that
// arrives while the object goes away finds valid state, not freed memory.
struct HeicWork::State {
    explicit State(ModuleBus b) : bus(b) {}

    const ModuleBus bus;
    mutable std::mutex mutex;
    std::condition_variable idle;
    ThumbnailCallback thumbnailCallback;
    ConvertCallback convertCallback;
    // Written on the caller's thread and on scheduler threads: only under
    // the mutex.
    std::string thumbnailEventId;
    std::string latestTaskId;
    std::string remoteTaskId;
    std::vector<std::thread::id> callbackThreads;
    bool closed = false;

    // Runs `call` with a copy of the callback that `pick` chooses, unless the
    // work has been closed; the mutex is not held during the call.
    template <typename Callback, typename Pick, typename Call>
    void Invoke(Pick pick, Call call) {
        Callback callback;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (closed) return;
            callback = pick(*this);
            if (!callback) return;
            callbackThreads.push_back(std::this_thread::get_id());
        }
        try {
            call(callback);
        } catch (const std::exception& e) {
            LOG(ERROR) << "photo reply callback failed: " << e.what();
        } catch (...) {
            LOG(ERROR) << "photo reply callback failed";
        }
        std::lock_guard<std::mutex> lock(mutex);
        callbackThreads.erase(std::find(callbackThreads.begin(), callbackThreads.end(), std::this_thread::get_id()));
        idle.notify_all();
    }
};

namespace {

using StatePtr = std::shared_ptr<HeicWork::State>;

bool IsEndOfReplies(int32_t resultKind) { return resultKind == 1 || resultKind == 6; }

void EndTask(const std::shared_ptr<VoTask>& task, int32_t resultKind) {
    NotifySchedular(task, resultKind == 1 ? VoTaskStatusFinished : VoTaskStatusFailed);
}

// The reply of the current delivery, if it carries `command`.
PhotoReply* TakeReply(const std::shared_ptr<VoTask>& task, const char* command) {
    auto reply = task->GetTaskDataAs<PhotoReply>();
    if (!reply || !reply->command || !reply->result || strcmp(reply->command, command) != 0) return nullptr;
    reply->taken = true;
    return reply.get();
}

VoTask::TaskFunc ThumbnailHandler(const StatePtr& state) {
    return [state](const std::shared_ptr<VoTask>& task) {
        PhotoReply* reply = TakeReply(task, LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL);
        if (!reply) return;
        const auto* result = static_cast<const ThumbnailResult*>(reply->result);
        // The image is ours from here on, whoever ends up holding it.
        std::shared_ptr<QImage> image(result->image);
        const std::u16string path = result->sourcePath;
        const int32_t kind = result->resultKind;
        const int32_t width = result->imageWidth;
        const int32_t height = result->imageHeight;
        const int32_t index = result->photoIndex;
        const int32_t total = result->photoCount;
        state->Invoke<HeicWork::ThumbnailCallback>(
            [](HeicWork::State& s) { return s.thumbnailCallback; },
            [&](const HeicWork::ThumbnailCallback& callback) {
                callback(image, path, kind, width, height, index, total);
            });
        if (IsEndOfReplies(kind)) EndTask(task, kind);
    };
}

VoTask::TaskFunc ConvertHandler(const StatePtr& state) {
    return [state](const std::shared_ptr<VoTask>& task) {
        PhotoReply* reply = TakeReply(task, LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE);
        if (!reply) return;
        const auto* result = static_cast<const ConvertResult*>(reply->result);
        const std::u16string path = result->sourcePath;
        const int32_t status = result->status;
        const int32_t kind = result->resultKind;
        state->Invoke<HeicWork::ConvertCallback>(
            [](HeicWork::State& s) { return s.convertCallback; },
            [&](const HeicWork::ConvertCallback& callback) { callback(path, status, kind); });
        if (IsEndOfReplies(kind)) EndTask(task, kind);
    };
}

// The task's first work function: install the reply handler, then post the
// request and keep the id of the photo module's event.
VoTask::TaskFunc SendStep(const StatePtr& state, const char* command, VoTask::TaskFunc handler,
                          std::string request) {
    return [state, command, handler, request](const std::shared_ptr<VoTask>& task) {
        if (task->IsEnded()) return;  // stopped before it got a thread
        task->ResetFunc();
        task->SetTaskFunc(handler);

        const std::string ownId = task->GetTaskId();
        std::vector<char> idText(ownId.c_str(), ownId.c_str() + ownId.size() + 1);
        std::vector<char> requestText(request.c_str(), request.c_str() + request.size() + 1);
        ModuleCommand post = MakeCommand(command);
        post.kind = kModuleCommandRequest;
        post.id = idText.data();
        post.data = requestText.data();
        post.dataSize = static_cast<int32_t>(request.size());
        state->bus.Post(post);

        if (post.id == nullptr || post.id == idText.data()) return;  // nobody took it
        const std::string remote(post.id);
        free(post.id);

        bool stopRemote = false;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            // An older request that posts late must not take the place of
            // the newest one: only the newest can be stopped.
            if (state->latestTaskId == ownId) state->remoteTaskId = remote;
            // Stopped while the request was on its way: the photo module's
            // work has just begun and must stop too.
            stopRemote = task->GetStatus() == VoTaskStatusStopped;
        }
        if (stopRemote) VoTaskSchedular::Get()->StopTaskEvent(remote);
    };
}

std::string PostRequest(const StatePtr& state, const char* command, VoTask::TaskFunc handler,
                        const std::string& request) {
    // Held while posting, so the send step (on a scheduler thread) always
    // sees this request as the newest and Stop never sees half of it.
    std::lock_guard<std::mutex> lock(state->mutex);
    std::shared_ptr<VoTask> task = BaseWork::MakeRequestTask(SendStep(state, command, std::move(handler), request));
    state->latestTaskId = task->GetTaskId();
    // The previous request's photo event is no longer ours to stop.
    state->remoteTaskId.clear();
    state->thumbnailEventId = BaseWork::PostSingleTaskEvent(task);
    return state->thumbnailEventId;
}

}  // namespace

HeicWork::HeicWork(ModuleBus bus) : state_(std::make_shared<State>(bus)) {}

HeicWork::~HeicWork() {
    Stop();
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->closed = true;
    const std::thread::id self = std::this_thread::get_id();
    state_->idle.wait(lock, [&] {
        return std::all_of(state_->callbackThreads.begin(), state_->callbackThreads.end(),
                           [&](std::thread::id id) { return id == self; });
    });
}

std::string HeicWork::QueryThumbnails(ThumbnailCallback callback, const std::string& requestJson) {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->thumbnailCallback = std::move(callback);
    }
    return PostRequest(state_, LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL, ThumbnailHandler(state_), requestJson);
}

std::string HeicWork::ConvertPhotos(ConvertCallback callback, const std::string& requestJson) {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->convertCallback = std::move(callback);
    }
    return PostRequest(state_, LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, ConvertHandler(state_), requestJson);
}

void HeicWork::Stop() {
    VoTaskSchedular* schedular = VoTaskSchedular::Get();
    std::string remote;
    {
        // The own event is stopped under the mutex: a send step that records
        // the remote id afterwards sees its task stopped and stops the
        // remote event itself.
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!state_->thumbnailEventId.empty()) schedular->StopTaskEvent(state_->thumbnailEventId);
        remote = state_->remoteTaskId;
    }
    if (!remote.empty()) schedular->StopTaskEvent(remote);
}

std::string HeicWork::LastEventId() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->thumbnailEventId;
}

std::string HeicWork::RemoteTaskId() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->remoteTaskId;
}
