#include "photo_module_client.h"

#include "plugin_util.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_schedular.h>
#include <pixbridge/command_names.h>
#include <pixbridge/module_contract.h>
#include <pixbridge/photo_results.h>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdlib>
#include <cstring>

namespace {

// The bus calls plain functions, so the one client's state lives here. The
// lock keeps a late notice from reaching a listener that has gone.
struct Route {
    std::mutex mutex;
    PhotoModuleListener* listener = nullptr;
    std::string requestId;  // the id our requests carry; replies echo it
    uint64_t sequence = 0;
};

Route& route() {
    // Never destroyed: pool threads may still deliver while the process ends.
    static Route* instance = new Route();
    return *instance;
}

int32_t OnConversionReply(ModuleCommand* c) {
    if (c->kind != kModuleCommandReply || c->target != plugin_util::HostInstance() || !c->data || !c->id) return 0;
    const auto* result = static_cast<const ConvertResult*>(c->data);
    std::lock_guard<std::mutex> lock(route().mutex);
    if (!route().listener || route().requestId != c->id) return 0;
    if (result->resultKind == kPhotoResultEnd) {
        route().listener->RequestEnded();
    } else if (result->resultKind == kPhotoResultItem) {
        route().listener->FileDone(result->sourcePath, result->status == kPhotoStatusConverted);
    }
    return 0;
}

// The file-start notice (no path in wideText) tells which entry is under
// way; the converter is the only requester in its process.
int32_t OnProgress(ModuleCommand* c) {
    if (c->wideText != nullptr) return 0;
    std::lock_guard<std::mutex> lock(route().mutex);
    if (route().listener && !route().requestId.empty()) route().listener->FileStarted(c->current);
    return 0;
}

}  // namespace

std::string BuildConversionRequest(const std::vector<std::string>& sources, const std::string& outputDir,
                                   const ConversionSettings& settings) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("heic_array");
    writer.StartArray();
    for (const std::string& source : sources) writer.String(source.c_str(), static_cast<rapidjson::SizeType>(source.size()));
    writer.EndArray();
    writer.Key("output_dir");
    writer.String(outputDir.c_str(), static_cast<rapidjson::SizeType>(outputDir.size()));
    writer.Key("format");
    writer.Int(settings.png ? 1 : 0);
    writer.Key("quality");
    writer.Int(settings.quality);
    writer.Key("keep_exif_data");
    writer.Int(settings.keepExif ? 1 : 0);
    if (settings.maxEdge > 0) {
        writer.Key("max_edge");
        writer.Int(settings.maxEdge);
    }
    writer.EndObject();
    return buffer.GetString();
}

bool PhotoModuleClient::Load(const std::u16string& pluginsDir, std::string& error) {
    if (!plugin_util::FindModule("Module.Photo") && !plugin_util::LoadModule(pluginsDir + u"Module.Photo/")) {
        error = "cannot load Module.Photo from " + BASUtilityString::Utf16ToUtf8(pluginsDir) + "Module.Photo/";
        return false;
    }
    // Subscriptions are for the life of the process.
    static const bool subscribed = [] {
        plugin_util::SubscribeHandler(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, &OnConversionReply);
        plugin_util::SubscribeHandler(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, &OnProgress);
        return true;
    }();
    return subscribed;
}

PhotoModuleClient::PhotoModuleClient(PhotoModuleListener* listener) {
    std::lock_guard<std::mutex> lock(route().mutex);
    route().listener = listener;
}

PhotoModuleClient::~PhotoModuleClient() {
    std::lock_guard<std::mutex> lock(route().mutex);
    route().listener = nullptr;
    route().requestId.clear();
}

std::string PhotoModuleClient::Convert(const std::string& requestJson) {
    std::string id;
    {
        std::lock_guard<std::mutex> lock(route().mutex);
        route().requestId = "pixbridge-convert-" + std::to_string(++route().sequence);
        id = route().requestId;
    }
    std::vector<char> idText(id.begin(), id.end());
    idText.push_back('\0');
    std::vector<char> payload(requestJson.begin(), requestJson.end());
    payload.push_back('\0');

    ModuleCommand c;
    memset(&c, 0, sizeof c);
    c.command = LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE;
    c.id = idText.data();
    c.data = payload.data();
    c.dataSize = static_cast<int32_t>(requestJson.size());
    plugin_util::PostFromHost(&c);
    // The module answers with a malloc'd copy of its event's id; an
    // unchanged pointer means nobody took the request.
    if (c.id == idText.data() || c.id == nullptr) return {};
    std::string eventId(c.id);
    free(c.id);
    return eventId;
}

bool PhotoModuleClient::Stop(const std::string& eventId) {
    return !eventId.empty() && VoTaskSchedular::Get()->StopTaskEvent(eventId);
}
