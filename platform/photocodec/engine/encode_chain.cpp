#include "photo_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "jpeg_sink.h"
#include "resize_sink.h"
#include "sink_adapters.h"
#include "tile_pipeline.h"

namespace photocodec {

namespace {

constexpr int kThumbnailQuality = 85;

// The output file the helper was handed, written through stdio and started
// afresh for every attempt.
class OutputStream {
public:
    explicit OutputStream(int fd) : fd_(fd) {}
    ~OutputStream()
    {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    FILE* open(std::string& error)
    {
        if (fd_ < 0) {
            error = "no output file was given";
            return nullptr;
        }
        if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) {
            error = std::string("cannot write the output file: ") + std::strerror(errno);
            return nullptr;
        }
        int copy = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
        file_ = copy >= 0 ? ::fdopen(copy, "wb") : nullptr;
        if (file_ == nullptr) {
            if (copy >= 0) {
                ::close(copy);
            }
            error = "cannot write the output file";
            return nullptr;
        }
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
        return file_;
    }

    bool close(std::string& error)
    {
        if (file_ == nullptr) {
            return true;
        }
        bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
        int savedErrno = errno;
        ok = std::fclose(file_) == 0 && ok;
        file_ = nullptr;
        if (!ok) {
            error = std::string("cannot write the output file: ") + std::strerror(savedErrno);
        }
        return ok;
    }

private:
    int fd_;
    FILE* file_ = nullptr;
};

}  // namespace

uint32_t Job::thumbnailSourceSize() const
{
    return settings_.entrySize > 0 && outputFd_ >= 0 ? std::max(settings_.entrySize, settings_.thumbnailSize)
                                                      : settings_.thumbnailSize;
}

std::unique_ptr<CacheEntrySink> Job::entrySink(BandSink& next, const PhotoMetadata& metadata) const
{
    CacheEntrySink::Entry entry;
    entry.fd = outputFd_;
    entry.text = newEntryText(settings_.entryKeys, photoWidth_, photoHeight_);
    entry.iccProfile = metadata.iccProfile;
    entry.minimumSide = std::min(settings_.entrySize, std::max(photoWidth_, photoHeight_));
    return std::make_unique<CacheEntrySink>(next, std::move(entry));
}

PngSink::Options Job::pngOptions() const
{
    PngSink::Options options;
    options.threads = settings_.threads;
    return options;
}

uint64_t Job::encoderMemoryBytes() const
{
    if (settings_.kind == JobKind::Thumbnail) {
        return 0;
    }
    const uint64_t resize = ResizeSink::memoryBytes(photoWidth_, photoHeight_, settings_.maxEdge, 4);
    return resize + (settings_.kind == JobKind::Png ? PngSink::memoryBytes(pngOptions()) : 0);
}

Size Job::outputSize() const
{
    return fitWithin(photoWidth_, photoHeight_, settings_.kind == JobKind::Thumbnail ? 0 : settings_.maxEdge);
}

Attempt Job::encode(TileSource& source, const Geometry& geometry, const PhotoMetadata& metadata, bool premultiplied,
                    bool fullChroma)
{
    Attempt attempt;
    PipelineOptions options;
    options.threads = settings_.threads;
    OutputStream output(outputFd_);
    FILE* file = nullptr;
    if (settings_.kind != JobKind::Thumbnail) {
        file = output.open(attempt.error);
        if (file == nullptr) {
            return attempt;
        }
    }
    std::unique_ptr<JpegSink> jpeg;
    std::unique_ptr<PngSink> png;
    BandSink* head = nullptr;
    if (settings_.kind == JobKind::Png) {
        png = std::make_unique<PngSink>(file, metadata, pngOptions());
        head = png.get();
    } else {
        JpegSink::Options jpegOptions;
        jpegOptions.quality = settings_.kind == JobKind::Thumbnail ? kThumbnailQuality : settings_.quality;
        jpegOptions.fullChroma = fullChroma;
        jpeg = std::make_unique<JpegSink>(file, jpegOptions, metadata);
        head = jpeg.get();
    }
    std::unique_ptr<DownscaleSink> downscale;
    std::unique_ptr<CacheEntrySink> entry;
    std::unique_ptr<DownscaleSink> toEntrySize;
    if (settings_.kind == JobKind::Thumbnail) {
        downscale = std::make_unique<DownscaleSink>(*head, settings_.thumbnailSize);
        head = downscale.get();
        // The entry is made at its own size first; the list's picture is
        // shrunk from it.
        if (thumbnailSourceSize() > settings_.thumbnailSize) {
            entry = entrySink(*head, metadata);
            head = entry.get();
            toEntrySize = std::make_unique<DownscaleSink>(*head, settings_.entrySize);
            head = toEntrySize.get();
        }
    }
    // Resized as the encoder will take the pixels: upright, and for a JPEG
    // already on white, so no colour of a transparent pixel bleeds in; a
    // PNG keeps its alpha, resized with the colours.
    std::unique_ptr<ResizeSink> resize;
    if (settings_.kind != JobKind::Thumbnail && settings_.maxEdge > 0) {
        resize = std::make_unique<ResizeSink>(*head, settings_.maxEdge);
        head = resize.get();
    }
    std::unique_ptr<FlattenAlphaSink> flatten;
    if (settings_.kind != JobKind::Png && source.format().hasAlpha()) {
        flatten = std::make_unique<FlattenAlphaSink>(*head, premultiplied);
        head = flatten.get();
    }
    bool sourceFailed = false;
    if (!runPipeline(source, geometry, *head, options, attempt.error, &sourceFailed)) {
        attempt.decodeFailed = sourceFailed;
        return attempt;
    }
    if (!output.close(attempt.error)) {
        return attempt;
    }
    if (jpeg && settings_.kind == JobKind::Thumbnail) {
        attempt.bytes = jpeg->takeBytes();
    }
    attempt.entryWritten = entry && entry->written();
    attempt.ok = true;
    return attempt;
}

}  // namespace photocodec
