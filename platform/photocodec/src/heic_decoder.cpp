#include "photocodec/heic_decoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <deque>
#include <mutex>
#include <optional>

#include "codec_encoders.h"
#include "codec_log.h"
#include "output_file.h"
#include "path_text.h"
#include "spare_helper.h"
#include "thumbnail_cache.h"
#include "unique_fd.h"
#include "worker_client.h"

namespace {

using photocodec::LogLevel;
using photocodec::logLine;
using photocodec::UniqueFd;

constexpr int32_t kDefaultThumbnailSize = 256;
// A thumbnail is for a list or a preview; anything beyond this is a caller
// mistake that would only cost memory.
constexpr int32_t kMaxThumbnailSize = 8192;

struct OpenedSource {
    UniqueFd fd;
    struct stat info {};
};

bool openSource(const std::string& path, OpenedSource& source, std::string& error)
{
    // O_NONBLOCK: a FIFO named like a photo must not hang the open.
    source.fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!source.fd) {
        error = std::string("cannot open it: ") + std::strerror(errno);
        return false;
    }
    if (::fstat(source.fd.get(), &source.info) != 0) {
        error = std::string("cannot read it: ") + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(source.info.st_mode)) {
        error = "it is not a regular file";
        return false;
    }
    if (source.info.st_size == 0) {
        error = "the file is empty";
        return false;
    }
    int flags = ::fcntl(source.fd.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(source.fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    return true;
}

// The helper's word is checked against the file: it must start and end
// like a complete JPEG or PNG, so a helper gone wrong cannot pass off an
// empty or cut-off file as a conversion.
bool outputLooksComplete(int fd, photocodec::wire::Operation operation)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size < 16) {
        return false;
    }
    uint8_t head[8] = {};
    uint8_t tail[12] = {};
    if (::pread(fd, head, sizeof(head), 0) != static_cast<ssize_t>(sizeof(head)) ||
        ::pread(fd, tail, sizeof(tail), info.st_size - static_cast<off_t>(sizeof(tail))) !=
            static_cast<ssize_t>(sizeof(tail))) {
        return false;
    }
    if (operation == photocodec::wire::Operation::ConvertJpeg) {
        return head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF && tail[10] == 0xFF && tail[11] == 0xD9;
    }
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    static const uint8_t kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    return std::memcmp(head, kSignature, 8) == 0 && std::memcmp(tail, kEnd, 12) == 0;
}

// The photo's keys as its cache entries carry them.
photocodec::wire::EntryKeys entryKeys(const photocodec::ThumbnailCache::Photo& photo)
{
    photocodec::wire::EntryKeys keys;
    keys.uri = photo.uri;
    keys.modifiedSeconds = photo.modifiedSeconds;
    keys.fileBytes = photo.fileBytes;
    keys.software = photocodec::ThumbnailCache::software();
    return keys;
}

// A relative path is taken from the working folder, as the file was opened.
std::string absolutePath(const std::string& path)
{
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    char folder[PATH_MAX];
    return ::getcwd(folder, sizeof(folder)) != nullptr ? std::string(folder) + "/" + path : std::string();
}

}  // namespace

// Private to the library, though it nests in an exported class.
class __attribute__((visibility("hidden"))) HeicDecoder::Impl {
public:
    void start(photocodec::wire::Operation operation, const char16_t* source, const char16_t* destination,
               int32_t quality, bool keepExif, HeicDecoder::NameTaken rule);
    bool finish();
    bool convert(photocodec::wire::Operation operation, const char16_t* source, const char16_t* destination,
                 int32_t quality, bool keepExif, HeicDecoder::NameTaken rule);
    bool thumbnail(const char16_t* source, uint8_t** buffer, uint32_t* length, int32_t imageSize, int32_t* width,
                   int32_t* height);
    void setMaxEdge(int32_t maxEdge)
    {
        std::lock_guard<std::mutex> guard(lock_);
        maxEdge_ = maxEdge;
    }

private:
    // One conversion from its start to its answer. The source stays open
    // and the output invisible until then.
    struct Conversion {
        photocodec::wire::Operation operation = photocodec::wire::Operation::ConvertJpeg;
        std::string sourcePath;
        std::string destinationPath;
        OpenedSource opened;
        std::unique_ptr<photocodec::OutputFile> output;
        bool submitted = false;  // false: refused before the helper saw it
    };

    bool startLocked(photocodec::wire::Operation operation, const char16_t* source, const char16_t* destination,
                     int32_t quality, bool keepExif, HeicDecoder::NameTaken rule);
    bool finishLocked();
    bool idleLocked(const char* what) const;

    using Outcome = photocodec::WorkerClient::Outcome;
    using CachedPhoto = photocodec::ThumbnailCache::Photo;
    // The photo's thumbnail, from the cache when an entry serves, else
    // decoded (and kept in the cache). False with nothing to show.
    bool thumbnailLocked(const std::string& path, const OpenedSource& photo, int32_t size, Outcome& made);
    // From a stored entry of another program's or ours, when one stands for
    // the photo as it is now and is large enough.
    bool fromStoredEntry(const CachedPhoto& cached, const OpenedSource& photo, int32_t size, Outcome& made);
    // Our codec failed on the photo as it is now, as its failure entry says.
    bool failedBefore(const CachedPhoto& cached);

    // The contract allows one thread per decoder; the lock keeps a caller
    // that breaks it from corrupting the helper conversation.
    std::mutex lock_;
    std::deque<Conversion> conversions_;  // started, not yet finished, oldest first
    photocodec::WorkerClient worker_;
    photocodec::ThumbnailCache cache_;
    int32_t maxEdge_ = 0;
};

void HeicDecoder::Impl::start(photocodec::wire::Operation operation, const char16_t* source,
                              const char16_t* destination, int32_t quality, bool keepExif,
                              HeicDecoder::NameTaken rule)
{
    std::lock_guard<std::mutex> guard(lock_);
    startLocked(operation, source, destination, quality, keepExif, rule);
}

bool HeicDecoder::Impl::finish()
{
    std::lock_guard<std::mutex> guard(lock_);
    return finishLocked();
}

bool HeicDecoder::Impl::convert(photocodec::wire::Operation operation, const char16_t* source,
                                const char16_t* destination, int32_t quality, bool keepExif,
                                HeicDecoder::NameTaken rule)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!idleLocked("conversion")) {
        return false;
    }
    startLocked(operation, source, destination, quality, keepExif, rule);
    return finishLocked();
}

bool HeicDecoder::Impl::idleLocked(const char* what) const
{
    if (conversions_.empty()) {
        return true;
    }
    // Its answer would be the oldest started conversion's.
    logLine(LogLevel::Error, std::string(what) + " refused: started conversions are not finished");
    return false;
}

bool HeicDecoder::Impl::startLocked(photocodec::wire::Operation operation, const char16_t* source,
                                    const char16_t* destination, int32_t quality, bool keepExif,
                                    HeicDecoder::NameTaken rule)
{
    // Every start is answered in its turn, a refused one too.
    conversions_.emplace_back();
    Conversion& c = conversions_.back();
    c.operation = operation;
    auto sourcePath = photocodec::pathFromUtf16(source);
    auto destinationPath = photocodec::pathFromUtf16(destination);
    if (!sourcePath || !destinationPath) {
        logLine(LogLevel::Warning, "conversion refused: a path is missing or not valid UTF-16");
        return false;
    }
    c.sourcePath = *sourcePath;
    c.destinationPath = *destinationPath;
    std::string error;
    if (!openSource(c.sourcePath, c.opened, error)) {
        logLine(LogLevel::Warning, "cannot convert " + c.sourcePath + ": " + error);
        return false;
    }
    c.output = photocodec::OutputFile::create(c.destinationPath, error,
                                              rule == HeicDecoder::NameTaken::NextFreeNumber
                                                  ? photocodec::OutputFile::NameTaken::NextFreeNumber
                                                  : photocodec::OutputFile::NameTaken::Fail);
    if (!c.output) {
        logLine(LogLevel::Warning, "cannot write " + c.destinationPath + ": " + error);
        return false;
    }

    photocodec::wire::Request request;
    request.operation = operation;
    request.quality = std::clamp(quality, 1, 100);
    request.keepExif = keepExif;
    request.maxEdge = maxEdge_;
    worker_.submit(request, {c.opened.fd.get(), c.output->fd()});
    c.submitted = true;
    return true;
}

bool HeicDecoder::Impl::finishLocked()
{
    if (conversions_.empty()) {
        logLine(LogLevel::Error, "no conversion was started");
        return false;
    }
    Conversion c = std::move(conversions_.front());
    conversions_.pop_front();
    if (!c.submitted) {
        return false;
    }
    photocodec::WorkerClient::Outcome outcome = worker_.collect();
    if (!outcome.ok) {
        c.output->discard();
        logLine(LogLevel::Warning, "cannot convert " + c.sourcePath + ": " + outcome.failure);
        return false;
    }
    if (!outputLooksComplete(c.output->fd(), c.operation)) {
        c.output->discard();
        logLine(LogLevel::Error, "cannot convert " + c.sourcePath + ": the helper reported success for an incomplete file");
        return false;
    }
    std::string error;
    if (!c.output->commit(c.opened.info.st_mtim, error)) {
        logLine(LogLevel::Warning, "cannot write " + c.destinationPath + ": " + error);
        return false;
    }
    if (c.output->tookAnotherName()) {
        logLine(LogLevel::Info, c.destinationPath + " was taken; wrote " + c.output->path());
    }
    return true;
}

bool HeicDecoder::Impl::thumbnail(const char16_t* source, uint8_t** buffer, uint32_t* length, int32_t imageSize,
                                  int32_t* width, int32_t* height)
{
    if (buffer != nullptr) {
        *buffer = nullptr;
    }
    if (length != nullptr) {
        *length = 0;
    }
    if (width != nullptr) {
        *width = 0;
    }
    if (height != nullptr) {
        *height = 0;
    }
    if (buffer == nullptr || length == nullptr) {
        return false;
    }
    auto sourcePath = photocodec::pathFromUtf16(source);
    if (!sourcePath) {
        logLine(LogLevel::Warning, "thumbnail refused: the path is missing or not valid UTF-16");
        return false;
    }
    std::string error;
    OpenedSource opened;
    if (!openSource(*sourcePath, opened, error)) {
        logLine(LogLevel::Warning, "no thumbnail for " + *sourcePath + ": " + error);
        return false;
    }

    const int32_t size = imageSize > 0 ? std::min(imageSize, kMaxThumbnailSize) : kDefaultThumbnailSize;
    std::lock_guard<std::mutex> guard(lock_);
    if (!idleLocked("thumbnail")) {
        return false;
    }
    Outcome outcome;
    if (!thumbnailLocked(*sourcePath, opened, size, outcome)) {
        return false;
    }
    // malloc here, free in FreeBuffer.
    auto* bytes = static_cast<uint8_t*>(std::malloc(outcome.result.payload.size()));
    if (bytes == nullptr) {
        return false;
    }
    std::memcpy(bytes, outcome.result.payload.data(), outcome.result.payload.size());
    *buffer = bytes;
    *length = static_cast<uint32_t>(outcome.result.payload.size());
    if (width != nullptr) {
        *width = outcome.result.width;
    }
    if (height != nullptr) {
        *height = outcome.result.height;
    }
    return true;
}

bool HeicDecoder::Impl::thumbnailLocked(const std::string& path, const OpenedSource& photo, int32_t size,
                                        Outcome& made)
{
    photocodec::wire::Request request;
    request.operation = photocodec::wire::Operation::Thumbnail;
    request.thumbnailSize = size;
    // The cache is only a shortcut: without it (no folder, a read-only or
    // full one) the thumbnail is made as it always was.
    const std::optional<CachedPhoto> cached = cache_.locate(absolutePath(path), photo.info, size);
    std::unique_ptr<photocodec::NewCacheEntry> entry;
    if (cached) {
        if (fromStoredEntry(*cached, photo, size, made)) {
            return true;
        }
        if (failedBefore(*cached)) {
            logLine(LogLevel::Info,
                    "no thumbnail for " + path + ": the codec failed on it before, and it has not changed");
            return false;
        }
        entry = cache_.newEntry(*cached);
        request.keys = entryKeys(*cached);
        if (entry) {
            request.entrySize = photocodec::ThumbnailCache::kSizes[cached->sizeIndex].pixels;
        }
    }
    std::vector<int> fds{photo.fd.get()};
    if (entry) {
        fds.push_back(entry->fd());
    }
    made = worker_.run(request, fds);
    if (!made.ok || made.result.payload.empty()) {
        logLine(LogLevel::Warning, "no thumbnail for " + path + ": " +
                                       (made.failure.empty() ? "the helper sent no image" : made.failure));
        // Only what the file holds is remembered: a lost helper, a memory
        // limit or a missing decoder may do better next time.
        if (cached && made.answered && (made.result.flags & photocodec::wire::Result::kFileAtFault) != 0) {
            cache_.recordFailure(*cached);
        }
        return false;
    }
    if (entry && (made.result.flags & photocodec::wire::Result::kEntryWritten) != 0 &&
        outputLooksComplete(entry->fd(), photocodec::wire::Operation::ConvertPng)) {
        entry->commit();
    }
    return true;
}

bool HeicDecoder::Impl::fromStoredEntry(const CachedPhoto& cached, const OpenedSource& photo, int32_t size,
                                        Outcome& made)
{
    for (photocodec::ThumbnailCache::StoredEntry& stored : cache_.storedEntries(cached)) {
        photocodec::wire::Request request;
        request.operation = photocodec::wire::Operation::CachedThumbnail;
        request.thumbnailSize = size;
        request.entrySize = stored.folderPixels;
        request.keys = entryKeys(cached);
        made = worker_.run(request, {stored.fd.get(), photo.fd.get()});
        if (made.ok && !made.result.payload.empty() && made.result.width > 0 && made.result.height > 0) {
            return true;
        }
        // Not the photo's, not readable, not the right size: made afresh,
        // and replaced when it is in the size folder the new one goes to.
    }
    return false;
}

bool HeicDecoder::Impl::failedBefore(const CachedPhoto& cached)
{
    photocodec::UniqueFd failure = cache_.failureEntry(cached);
    if (!failure) {
        return false;
    }
    photocodec::wire::Request request;
    request.operation = photocodec::wire::Operation::MatchEntry;
    request.keys = entryKeys(cached);
    return worker_.run(request, {failure.get()}).ok;
}

HeicDecoder* HeicDecoder::NewHeicDecoder()
{
    return new HeicDecoder();
}

void HeicDecoder::Destroy(HeicDecoder* decoder)
{
    delete decoder;
}

void HeicDecoder::PrepareHelper()
{
    photocodec::spare_helper::prepare();
}

HeicDecoder::HeicDecoder() : impl_(std::make_unique<Impl>()) {}

HeicDecoder::~HeicDecoder() = default;

JpegEncoder* HeicDecoder::newJpegEncoder()
{
    return new JpegEncoder();
}

void HeicDecoder::destroyJpegEncoder(JpegEncoder* encoder)
{
    delete encoder;
}

PngEncoder* HeicDecoder::newPngEncoder()
{
    return new PngEncoder();
}

void HeicDecoder::destroyPngEncoder(PngEncoder* encoder)
{
    delete encoder;
}

bool HeicDecoder::convertToJpeg(JpegEncoder* encoder, const char16_t* source, const char16_t* destination,
                                int32_t quality, bool keepExif)
{
    return convertToJpeg(encoder, source, destination, quality, keepExif, NameTaken::Fail);
}

bool HeicDecoder::convertToPng(PngEncoder* encoder, const char16_t* source, const char16_t* destination)
{
    return convertToPng(encoder, source, destination, NameTaken::Fail);
}

bool HeicDecoder::convertToJpeg(JpegEncoder* /*encoder*/, const char16_t* source, const char16_t* destination,
                                int32_t quality, bool keepExif, NameTaken rule)
{
    return impl_->convert(photocodec::wire::Operation::ConvertJpeg, source, destination, quality, keepExif, rule);
}

bool HeicDecoder::convertToPng(PngEncoder* /*encoder*/, const char16_t* source, const char16_t* destination,
                               NameTaken rule)
{
    return impl_->convert(photocodec::wire::Operation::ConvertPng, source, destination, 0, false, rule);
}

bool HeicDecoder::extractJpegThumbnailToBuffer(JpegEncoder* /*encoder*/, const char16_t* source, uint8_t** buffer,
                                               uint32_t* length, int32_t imageSize, int32_t* width,
                                               int32_t* height)
{
    return impl_->thumbnail(source, buffer, length, imageSize, width, height);
}

void HeicDecoder::startConvertToJpeg(JpegEncoder* /*encoder*/, const char16_t* source, const char16_t* destination,
                                     int32_t quality, bool keepExif, NameTaken rule)
{
    impl_->start(photocodec::wire::Operation::ConvertJpeg, source, destination, quality, keepExif, rule);
}

void HeicDecoder::startConvertToPng(PngEncoder* /*encoder*/, const char16_t* source, const char16_t* destination,
                                    NameTaken rule)
{
    impl_->start(photocodec::wire::Operation::ConvertPng, source, destination, 0, false, rule);
}

bool HeicDecoder::setMaxEdge(int32_t maxEdge)
{
    static_assert(kMaxMaxEdge == photocodec::wire::kMaxEdge, "the helper takes what the library allows");
    if (maxEdge != 0 && (maxEdge < kMinMaxEdge || maxEdge > kMaxMaxEdge)) {
        logLine(LogLevel::Warning, "longest side of " + std::to_string(maxEdge) + " refused");
        return false;
    }
    impl_->setMaxEdge(maxEdge);
    return true;
}

bool HeicDecoder::finishConversion()
{
    return impl_->finish();
}

void HeicDecoder::FreeBuffer(uint8_t* buffer)
{
    std::free(buffer);
}
