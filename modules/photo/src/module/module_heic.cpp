#include "module_heic.h"

#include "module_base.h"

#include <bedrock/bas_json.h>
#include <bedrock/bas_utility_string.h>
#include <memimage/bas_mem_image.h>
#include <module_kit/module_bus.h>
#include <photocodec/heic_decoder.h>
#include <pixbridge/command_names.h>
#include <pixbridge/photo_results.h>

#include <QImage>

#include <glog/logging.h>
#include <rapidjson/document.h>

#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace module_heic {
namespace {

// Quality when a JPEG request does not say; the workbench always does.
constexpr int32_t kDefaultQuality = 90;

// Texts that BASUtilityString allocated, released on every path.
struct WideText {
    char16_t* text = nullptr;
    explicit WideText(char16_t* t) : text(t) {}
    ~WideText() { BASUtilityString::Free(text); }
    WideText(WideText&& other) noexcept : text(std::exchange(other.text, nullptr)) {}
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;
    WideText& operator=(WideText&&) = delete;
};

struct DecoderDeleter {
    void operator()(HeicDecoder* d) const { HeicDecoder::Destroy(d); }
};
using DecoderPtr = std::unique_ptr<HeicDecoder, DecoderDeleter>;

// The file-name part of a path: what follows the last separator.
const char16_t* FileNamePart(const char16_t* path) {
    const char16_t* name = path;
    for (const char16_t* p = path; *p; ++p) {
        if (*p == u'/') name = p + 1;
    }
    return name;
}

void PostReply(const char* command, const TaskDataBase& data, void* result) {
    ModuleCommand c = MakeCommand(command);
    c.kind = kModuleCommandReply;
    c.id = const_cast<char*>(data.requesterTaskId.c_str());
    c.data = result;
    c.target = data.requester;
    module_base::Post(&c);
}

void PostProgress(int64_t current, int64_t total, char16_t* fileName, char16_t* failedPath, int64_t failed) {
    ModuleCommand c = MakeCommand(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS);
    c.current = current;
    c.total = total;
    c.result = fileName;
    c.wideText = failedPath;
    c.number = failed;
    module_base::Post(&c);
}

void PostConversionEnd(const TaskDataBase& data) {
    ConvertResult end;
    end.status = 0;
    end.resultKind = kPhotoResultEnd;
    PostReply(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, data, &end);
    ModuleCommand finish = MakeCommand(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH);
    module_base::Post(&finish);
}

// The conversion request, checked for the keys and types it must have.
struct ConversionRequest {
    std::vector<const rapidjson::Value*> entries;
    std::string outputDir;
    bool jpeg = true;
    int32_t quality = kDefaultQuality;
    bool keepExif = true;
    int32_t maxEdge = 0;  // 0: the photos' own size
};

// A JSON string holding a NUL ("\u0000") would be cut short where the text
// meets the file system: another path than the one asked for.
bool HasNul(const rapidjson::Value& text) { return strlen(text.GetString()) != text.GetStringLength(); }

bool ParseConversion(const rapidjson::Document& doc, ConversionRequest& out) {
    if (!doc.IsObject()) return false;
    auto array = doc.FindMember("heic_array");
    auto dir = doc.FindMember("output_dir");
    auto format = doc.FindMember("format");
    if (array == doc.MemberEnd() || !array->value.IsArray()) return false;
    if (dir == doc.MemberEnd() || !dir->value.IsString()) return false;
    if (format == doc.MemberEnd() || !format->value.IsInt()) return false;
    for (const auto& entry : array->value.GetArray()) out.entries.push_back(&entry);
    if (HasNul(dir->value)) {
        LOG(ERROR) << "conversion request refused: the output folder holds a NUL character";
        return false;
    }
    out.outputDir.assign(dir->value.GetString(), dir->value.GetStringLength());
    // The output folder is a folder whether or not it ends in "/"; a relative
    // or empty one would depend on the working folder.
    if (out.outputDir.empty() || out.outputDir[0] != '/') {
        LOG(ERROR) << "conversion request refused: the output folder \"" << out.outputDir << "\" is not absolute";
        return false;
    }
    if (out.outputDir.back() != '/') out.outputDir.push_back('/');
    out.jpeg = format->value.GetInt() == 0;
    if (out.jpeg) {
        auto quality = doc.FindMember("quality");
        if (quality != doc.MemberEnd() && quality->value.IsInt()) out.quality = quality->value.GetInt();
        auto keep = doc.FindMember("keep_exif_data");
        if (keep != doc.MemberEnd() && keep->value.IsInt()) out.keepExif = keep->value.GetInt() != 0;
    }
    // A size nobody asked for is no fallback for one that cannot be had.
    auto maxEdge = doc.FindMember("max_edge");
    if (maxEdge != doc.MemberEnd()) {
        const rapidjson::Value& v = maxEdge->value;
        if (!v.IsInt() || (v.GetInt() != 0 && (v.GetInt() < HeicDecoder::kMinMaxEdge ||
                                                v.GetInt() > HeicDecoder::kMaxMaxEdge))) {
            LOG(ERROR) << "conversion request refused: \"max_edge\" is not 0 or a size of "
                       << HeicDecoder::kMinMaxEdge << " to " << HeicDecoder::kMaxMaxEdge << " pixels";
            return false;
        }
        out.maxEdge = v.GetInt();
    }
    return true;
}

// The files of one request through the codec, overlapped: the next file is
// decoded while the one before is encoded and written. The overlap stays
// inside: the messages go out as a one-at-a-time run sends them, each file's
// start notification, its reply and its file-done notification in the order
// of the entries, so the progress display never steps back. A file's start
// goes out when it becomes the one waited for.
//
// A stop ends the handing of files to the codec. The files it has already
// (at most kConversionsAtOnce: the one being finished and those decoding
// behind it) cannot be withdrawn from the helper, so they are finished and
// reported in full: no file is written without its reply.
class ConversionBatch {
public:
    ConversionBatch(const ConversionRequest& request, const VoTask& task, const TaskDataBase& data)
        : request_(request), task_(task), data_(data), decoder_(HeicDecoder::NewHeicDecoder()),
          jpeg_(request.jpeg ? decoder_->newJpegEncoder() : nullptr),
          png_(request.jpeg ? nullptr : decoder_->newPngEncoder()),
          extension_(request.jpeg ? u".JPG" : u".PNG"),
          outputFolder_(BASUtilityString::Utf8ToUtf16(request.outputDir)),
          total_(static_cast<int64_t>(request.entries.size())) {
        decoder_->setMaxEdge(request.maxEdge);  // checked when the request was read
    }

    // The encoder ends first, then the decoder.
    ~ConversionBatch() {
        if (jpeg_) decoder_->destroyJpegEncoder(jpeg_);
        if (png_) decoder_->destroyPngEncoder(png_);
    }
    ConversionBatch(const ConversionBatch&) = delete;
    ConversionBatch& operator=(const ConversionBatch&) = delete;

    void Run() {
        StartMore();
        while (!underWay_.empty()) {
            FinishOldest();
            StartMore();
        }
    }

private:
    struct File {
        int64_t index;
        WideText source;
        char16_t* fileName = nullptr;  // points into source
        File(int64_t i, char16_t* path) : index(i), source(path) {}
    };

    void StartMore() {
        while (!stopped_ && next_ < total_ && underWay_.size() < static_cast<size_t>(HeicDecoder::kConversionsAtOnce)) {
            // A stop from the requester ends the batch before the next file.
            if (task_.GetStatus() == VoTaskStatusStopped) {
                stopped_ = true;
                return;
            }
            const int64_t i = next_++;
            const rapidjson::Value& entry = *request_.entries[static_cast<size_t>(i)];
            if (!entry.IsString()) continue;
            if (HasNul(entry)) {
                LOG(ERROR) << "conversion entry " << i << " refused: its path holds a NUL character";
                continue;
            }
            File file(i, BASUtilityString::ConvertUtf8ToUnicode(entry.GetString()));
            if (!file.source.text) continue;
            file.fileName = const_cast<char16_t*>(FileNamePart(file.source.text));
            if (file.fileName == file.source.text) continue;  // no folder part
            const std::u16string name(file.fileName);
            const size_t dot = name.rfind(u'.');
            if (dot == std::u16string::npos) continue;

            // The codec takes the next free "name (n).ext" itself, both before it
            // starts and when the final link finds the name taken: another batch
            // converting into the same folder may have got there first.
            const std::u16string wanted = outputFolder_ + name.substr(0, dot) + extension_;
            constexpr HeicDecoder::NameTaken kNextFree = HeicDecoder::NameTaken::NextFreeNumber;
            if (jpeg_) {
                decoder_->startConvertToJpeg(jpeg_, file.source.text, wanted.c_str(), request_.quality,
                                             request_.keepExif, kNextFree);
            } else {
                decoder_->startConvertToPng(png_, file.source.text, wanted.c_str(), kNextFree);
            }
            underWay_.push_back(std::move(file));
        }
    }

    void FinishOldest() {
        const File& file = underWay_.front();
        PostProgress(file.index, total_, file.fileName, nullptr, 0);
        const bool converted = decoder_->finishConversion();
        ConvertResult result;
        result.sourcePath = file.source.text;
        result.status = converted ? kPhotoStatusConverted : kPhotoStatusFailed;
        result.resultKind = kPhotoResultItem;
        PostReply(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, data_, &result);
        PostProgress(file.index + 1, total_, file.fileName, file.source.text, converted ? 0 : 1);
        underWay_.pop_front();
    }

    const ConversionRequest& request_;
    const VoTask& task_;
    const TaskDataBase& data_;
    DecoderPtr decoder_;
    JpegEncoder* jpeg_;
    PngEncoder* png_;
    const std::u16string extension_;
    const std::u16string outputFolder_;
    const int64_t total_;
    int64_t next_ = 0;
    bool stopped_ = false;
    std::deque<File> underWay_;  // started, not yet reported, oldest first
};

}  // namespace

void RunConversionTask(const std::shared_ptr<VoTask>& task) {
    const std::shared_ptr<TaskDataBase> data = task->GetTaskDataAs<TaskDataBase>();
    rapidjson::Document doc;
    ConversionRequest request;
    if (!ParseJsonText(doc, data->payload) || !ParseConversion(doc, request)) {
        // Unusable request: nothing converted, but the requester and the
        // progress display still learn that it ended.
        LOG(ERROR) << "conversion request is not usable";
        PostConversionEnd(*data);
        NotifySchedular(task, VoTaskStatusFailed);
        return;
    }

    {
        ConversionBatch batch(request, *task, *data);
        batch.Run();
    }
    PostConversionEnd(*data);
    NotifySchedular(task, VoTaskStatusFinished);
}

void RunThumbnailTask(const std::shared_ptr<VoTask>& task) {
    const std::shared_ptr<TaskDataBase> data = task->GetTaskDataAs<TaskDataBase>();
    rapidjson::Document doc;
    bool usable = ParseJsonText(doc, data->payload) && doc.IsObject();
    rapidjson::Value::ConstMemberIterator array, size;
    if (usable) {
        array = doc.FindMember("heic_array");
        size = doc.FindMember("image_size");
        usable = array != doc.MemberEnd() && array->value.IsArray() && size != doc.MemberEnd() && size->value.IsInt();
    }
    if (usable) {
        DecoderPtr decoder(HeicDecoder::NewHeicDecoder());
        JpegEncoder* jpeg = decoder->newJpegEncoder();
        const int32_t imageSize = size->value.GetInt();
        const int32_t count = static_cast<int32_t>(array->value.Size());
        for (int32_t i = 0; i < count; ++i) {
            const rapidjson::Value& entry = array->value[static_cast<rapidjson::SizeType>(i)];
            if (!entry.IsString() || HasNul(entry)) continue;
            WideText source(BASUtilityString::ConvertUtf8ToUnicode(entry.GetString()));
            uint8_t* buffer = nullptr;
            uint32_t length = 0;
            int32_t width = 0, height = 0;
            if (!source.text ||
                !decoder->extractJpegThumbnailToBuffer(jpeg, source.text, &buffer, &length, imageSize, &width, &height)) {
                continue;
            }
            if (QImage* image = BASMemImage::mi_from_memory(buffer, length)) {
                LOG(INFO) << entry.GetString();
                ThumbnailResult result;
                result.sourcePath = source.text;
                result.image = image;  // the receiver owns it from here
                result.resultKind = kPhotoResultItem;
                result.imageWidth = width;
                result.imageHeight = height;
                result.photoIndex = i + 1;
                result.photoCount = count;
                PostReply(LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL, *data, &result);
            }
            HeicDecoder::FreeBuffer(buffer);
        }
        decoder->destroyJpegEncoder(jpeg);
    } else {
        LOG(ERROR) << "thumbnail request is not usable";
    }
    ThumbnailResult end;
    end.resultKind = kPhotoResultEnd;
    PostReply(LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL, *data, &end);
    NotifySchedular(task, usable ? VoTaskStatusFinished : VoTaskStatusFailed);
}

}  // namespace module_heic
