#include "presenter/thumbnail_streams.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <functional>
#include <thread>

namespace {

// The request of one stream: "heic_array" and "image_size".
std::string RequestText(const std::vector<std::string>& paths, int sizePx) {
    rapidjson::Document request(rapidjson::kObjectType);
    auto& a = request.GetAllocator();
    rapidjson::Value array(rapidjson::kArrayType);
    for (const std::string& path : paths) array.PushBack(rapidjson::Value(path.c_str(), a), a);
    request.AddMember("heic_array", array, a);
    request.AddMember("image_size", sizePx, a);
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    request.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace

ThumbnailStreams::ThumbnailStreams(ModuleBus bus) {
    const size_t streams = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, kMaxStreams);
    for (size_t i = 0; i < streams; ++i) works_.push_back(std::make_unique<HeicWork>(bus));
}

ThumbnailStreams::~ThumbnailStreams() { works_.clear(); }

void ThumbnailStreams::Request(const std::vector<std::string>& paths, int sizePx,
                               const HeicWork::ThumbnailCallback& callback) {
    // Photos are dealt to the streams by a hash of their path: a folder's
    // slow photos (those without a preview) follow no pattern of the
    // streams' own, so the streams end close together.
    const size_t streams = std::min(works_.size(), paths.size());
    requested_ += static_cast<int>(paths.size());
    for (size_t stream = 0; stream < streams; ++stream) {
        std::vector<std::string> share;
        for (const std::string& path : paths) {
            if (std::hash<std::string>()(path) % streams == stream) share.push_back(path);
        }
        if (share.empty()) continue;
        ++pendingEnds_;
        works_[stream]->QueryThumbnails(callback, RequestText(share, sizePx));
    }
}

bool ThumbnailStreams::StreamEnded() {
    if (--pendingEnds_ > 0) return false;
    pendingEnds_ = 0;
    arrived_ = 0;
    requested_ = 0;
    return true;
}

ThumbnailStreams::Progress ThumbnailStreams::Arrived(int32_t index, int32_t total) {
    ++arrived_;
    Progress progress;
    progress.total = std::max(total, requested_);
    progress.current = std::max(index, arrived_);
    return progress;
}

void ThumbnailStreams::Stop() {
    for (auto& work : works_) work->Stop();
}
