// A stand-in for Module.Photo: answers thumbnail and conversion requests on
// a scheduler thread with the real module's replies, without decoding
// anything.
#include "fake_photo_protocol.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task.h>
#include <bedrock/vo_task_schedular.h>
#include <pixbridge/command_names.h>
#include <pixbridge/module_contract.h>
#include <pixbridge/photo_results.h>

#include <rapidjson/document.h>

#include <QImage>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

ModuleContext* context = nullptr;

struct Request {
    void* requester = nullptr;
    std::string requesterTaskId;
    std::string payload;
    bool thumbnails = false;
};

ModuleCommand Blank(const char* name) {
    ModuleCommand c;
    memset(&c, 0, sizeof c);
    c.command = name;
    c.sender = context->instance;
    return c;
}

void Reply(const Request& request, const char* name, void* result) {
    std::vector<char> id(request.requesterTaskId.c_str(),
                         request.requesterTaskId.c_str() + request.requesterTaskId.size() + 1);
    ModuleCommand c = Blank(name);
    c.kind = kModuleCommandReply;
    c.id = id.data();
    c.data = result;
    c.target = request.requester;
    context->post(&c);
}

void Broadcast(const char* name, const std::string& id, int64_t current) {
    std::vector<char> text(id.c_str(), id.c_str() + id.size() + 1);
    ModuleCommand c = Blank(name);
    c.id = text.data();
    c.current = current;
    context->post(&c);
}

void Run(const std::shared_ptr<VoTask>& task, const Request& request) {
    rapidjson::Document doc;
    doc.Parse(request.payload.c_str());
    const bool valid = !doc.HasParseError() && doc.IsObject() && doc.HasMember("heic_array") &&
                       doc["heic_array"].IsArray();
    if (valid && doc.HasMember("fake_silent") && doc["fake_silent"].IsBool() && doc["fake_silent"].GetBool()) {
        return;  // never answers; the task stays open until stopped
    }
    int delayMs = 0;
    if (valid && doc.HasMember("fake_delay_ms") && doc["fake_delay_ms"].IsInt()) delayMs = doc["fake_delay_ms"].GetInt();
    const std::string eventId = task->GetEvent() ? task->GetEvent()->GetTaskId() : std::string();

    int64_t worked = 0;
    if (valid) {
        const rapidjson::Value& paths = doc["heic_array"];
        const int32_t count = static_cast<int32_t>(paths.Size());
        for (int32_t i = 0; i < count; ++i) {
            // Conversions stop between files; thumbnails run to the end.
            if (!request.thumbnails && task->GetStatus() == VoTaskStatusStopped) break;
            if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ++worked;
            const std::string path = paths[i].IsString() ? paths[i].GetString() : "";
            if (request.thumbnails) {
                if (path.find("no-thumb") != std::string::npos) continue;
                ThumbnailResult result;
                result.sourcePath = BASUtilityString::Utf8ToUtf16(path);
                result.image = new QImage(4, 3, QImage::Format_RGB32);
                result.image->fill(Qt::gray);
                result.resultKind = kPhotoResultItem;
                result.imageWidth = 4032;
                result.imageHeight = 3024;
                result.photoIndex = i + 1;
                result.photoCount = count;
                Reply(request, LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL, &result);
            } else {
                ConvertResult result;
                result.sourcePath = BASUtilityString::Utf8ToUtf16(path);
                result.status = path.find("broken") != std::string::npos ? kPhotoStatusFailed : kPhotoStatusConverted;
                result.resultKind = kPhotoResultItem;
                Reply(request, LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, &result);
            }
        }
    }
    if (request.thumbnails) {
        ThumbnailResult end;
        end.resultKind = kPhotoResultEnd;
        Reply(request, LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL, &end);
    } else {
        ConvertResult end;
        end.resultKind = kPhotoResultEnd;
        Reply(request, LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, &end);
        Broadcast(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH, std::string(), 0);
    }
    NotifySchedular(task, valid ? VoTaskStatusFinished : VoTaskStatusFailed);
    Broadcast(FAKE_PHOTO_TASK_DONE, eventId, worked);
}

int32_t Receive(ModuleCommand* command) {
    const bool thumbnails = strcmp(command->command, LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL) == 0;
    if (!thumbnails && strcmp(command->command, LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE) != 0) return 0;

    Request request;
    request.requester = command->sender;
    request.requesterTaskId = command->id ? command->id : "";
    request.payload = command->data ? static_cast<const char*>(command->data) : "";
    request.thumbnails = thumbnails;

    auto task = std::make_shared<VoTask>();
    task->SetTaskId(BASUtilityApp::GetTaskId());
    task->SetTaskFunc([request](const std::shared_ptr<VoTask>& t) { Run(t, request); });
    auto package = std::make_shared<VoTaskPackage>();
    package->AddTask(task);
    package->SetTaskId(BASUtilityApp::GetTaskId());
    auto event = std::make_shared<VoTaskEvent>();
    event->SetTaskId(BASUtilityApp::GetTaskId());
    event->AddPackage(package);
    VoTaskSchedular::Get()->RegisterTaskEvent(event);
    VoTaskSchedular::Get()->PostTaskEvent(event);
    command->id = strdup(event->GetTaskId().c_str());
    return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void RegisterModule(ModuleContext* ctx) {
    context = ctx;
    ctx->receive = &Receive;
}
