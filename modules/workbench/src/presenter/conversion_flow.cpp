#include "presenter/conversion_flow.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_schedular.h>
#include <canvas/dispatch_queue.h>
#include <pixbridge/command_names.h>

#include <QImage>
#include <QTimer>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <atomic>
#include <chrono>

// What the desktop is told of a batch: its progress on the launcher icon,
// and its end. Counted on the photo module's threads, one reply at a time.
struct BatchTally {
    int64_t total = 0;
    std::atomic<int64_t> converted{0};
    std::atomic<int64_t> failed{0};
    std::string folder;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

namespace {

void TellDesktop(const ModuleBus& bus, const BatchTally& tally, bool ended, bool notify) {
    ModuleCommand command = MakeCommand(LIBPLATFORM_COMMAND_CONVERSION_PROGRESS);
    command.kind = ended ? 1 : 0;
    const int64_t converted = tally.converted.load();
    if (ended) {
        command.current = converted;
        command.total = converted + tally.failed.load();
        // A stop by the user asks for no notification: it says 0 ms.
        command.number = notify ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - tally.start)
                                      .count()
                                : 0;
        command.text = const_cast<char*>(tally.folder.c_str());
    } else {
        command.current = converted + tally.failed.load();
        command.total = tally.total;
    }
    bus.Post(command);
}

std::string ToText(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace

ConversionFlow::ConversionFlow(const ViewResources& resources, ProgressCancelFn cancel, void* cancelValue1,
                               void* cancelValue2, std::function<void()> finishingChanged)
    : res_(resources),
      finishingChanged_(std::move(finishingChanged)),
      work_(std::make_unique<HeicWork>(resources.Bus())),
      drainTimer_(std::make_unique<QTimer>()),
      alive_(std::make_shared<ConversionFlow*>(this)) {
    cancel_.cancelFunction = cancel;
    cancel_.cancelValue1 = cancelValue1;
    cancel_.cancelValue2 = cancelValue2;
    QObject::connect(drainTimer_.get(), &QTimer::timeout, [this] { CheckDrained(); });
}

ConversionFlow::~ConversionFlow() {
    *alive_ = nullptr;
    work_.reset();  // waits for callbacks still running elsewhere
}

std::string ConversionFlow::BuildRequest(const std::vector<std::string>& paths, const OutputSettings& settings) {
    if (paths.empty()) return std::string();
    rapidjson::Document request(rapidjson::kObjectType);
    auto& a = request.GetAllocator();
    if (settings.format == 0) {
        request.AddMember("keep_exif_data", settings.keepExif ? 1 : 0, a);
        request.AddMember("quality", settings.quality, a);
    }
    rapidjson::Value array(rapidjson::kArrayType);
    for (const std::string& path : paths) array.PushBack(rapidjson::Value(path.c_str(), a), a);
    request.AddMember("heic_array", array, a);
    std::string folder = BASUtilityString::Utf16ToUtf8(settings.folder);
    // The folder travels as a folder: with its separator.
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    request.AddMember("output_dir", rapidjson::Value(folder.c_str(), a), a);
    request.AddMember("format", settings.format, a);
    request.AddMember("max_edge", settings.maxEdge, a);
    request.AddMember("device_id", rapidjson::Value(kDeviceId, a), a);
    request.AddMember("desc", rapidjson::Value(ViewResources::Tr(u"converting-heic-files").toUtf8().constData(), a), a);
    request.AddMember("title", rapidjson::Value(ViewResources::Tr(u"notice").toUtf8().constData(), a), a);
    request.AddMember("auto_close_when_finish", 0, a);
    request.AddMember("show_current_total_number", 1, a);
    return ToText(request);
}

bool ConversionFlow::Start(const std::string& text) {
    if (converting_) return false;
    rapidjson::Document request;
    request.Parse(text.c_str());

    ProgressStartBlock block = cancel_;
    block.logo = const_cast<QImage*>(res_.Image("converting.png"));
    ModuleCommand start = MakeCommand(LIBPLATFORM_COMMAND_START_PROGRESS);
    start.data = &request;
    start.result = &block;
    res_.Bus().Post(start);

    converting_ = true;
    std::weak_ptr<ConversionFlow*> alive = alive_;
    const ModuleBus bus = res_.Bus();
    QImage* complete = const_cast<QImage*>(res_.Image("complete.png"));
    auto tally = std::make_shared<BatchTally>();
    if (request.IsObject() && request.HasMember("heic_array") && request["heic_array"].IsArray()) {
        tally->total = request["heic_array"].Size();
    }
    if (request.IsObject() && request.HasMember("output_dir") && request["output_dir"].IsString()) {
        tally->folder = request["output_dir"].GetString();
    }
    tally_ = tally;
    TellDesktop(bus, *tally, false, false);
    work_->ConvertPhotos(
        [alive, bus, complete, tally](const std::u16string&, int32_t status, int32_t kind) {
            if (kind == 2) {
                (status == 1 ? tally->converted : tally->failed)++;
                TellDesktop(bus, *tally, false, false);
                return;
            }
            if (kind != 1) return;
            TellDesktop(bus, *tally, true, true);
            ModuleCommand logo = MakeCommand(LIBPLATFORM_COMMAND_CHANGE_PROGRESS_LOGO);
            logo.data = complete;
            bus.Post(logo);
            DispatchQueue::DispatchGetMainQueue()->DispatchAsync([alive] {
                auto self = alive.lock();
                if (self && *self) (*self)->Replied(1);
            });
        },
        text);
    return true;
}

void ConversionFlow::Replied(int32_t kind) {
    if (kind != 1) return;
    converting_ = false;
    tally_.reset();
    if (finishing_) {
        drainTimer_->stop();
        SetFinishing(false);
    }
}

void ConversionFlow::Stop() {
    work_->Stop();
    // The photo module finishes the files it has begun and ends; its end
    // reply no longer reaches us (our task is gone), so the job is over once
    // the module's event has ended. Until then no new conversion starts, and
    // the user sees why "convert" waits.
    if (!converting_) return;
    SetFinishing(true);
    drainTimer_->start(100);
}

void ConversionFlow::CheckDrained() {
    const std::string remote = work_->RemoteTaskId();
    if (!remote.empty() && VoTaskSchedular::Get()->FindTask(remote)) return;
    drainTimer_->stop();
    converting_ = false;
    // The stopped batch's end reply never comes: its launcher progress goes
    // now, without a notification, since the user stopped it.
    if (tally_) TellDesktop(res_.Bus(), *tally_, true, false);
    SetFinishing(false);
}

void ConversionFlow::SetFinishing(bool finishing) {
    finishing_ = finishing;
    if (finishingChanged_) finishingChanged_();
}
