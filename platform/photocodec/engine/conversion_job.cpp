#include "conversion_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cache_entry_sink.h"
#include "color_profile.h"
#include "exif_block.h"
#include "failure_kind.h"
#include "hdr_tone_mapper.h"
#include "heif_photo.h"
#include "jpeg_sink.h"
#include "memory_budget.h"
#include "picture_readers.h"
#include "png_sink.h"
#include "sink_adapters.h"
#include "tile_pipeline.h"
#include "xmp_packet.h"

namespace photocodec {

namespace {

constexpr int kThumbnailQuality = 85;
// An EXIF thumbnail this wide serves a list of any size (the usual 160 x
// 120 one fills a row of 60 pixels at twice the density).
constexpr uint32_t kUsableExifThumbnailWidth = 120;
// What the helper itself, its libraries and a few tiles take besides the
// image.
constexpr uint64_t kBaseMemoryBytes = 96ull << 20;

std::string megabytes(uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

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

struct Attempt {
    bool ok = false;
    bool decodeFailed = false;  // worth another decoder
    bool needsRgb = false;      // worth another go through RGB
    bool entryWritten = false;
    std::string error;
    std::vector<uint8_t> bytes;
};

bool aspectMatches(uint32_t w, uint32_t h, uint32_t displayW, uint32_t displayH)
{
    if (w == 0 || h == 0 || displayW == 0 || displayH == 0) {
        return false;
    }
    // Within rounding of a scaled copy: letter-boxed or square previews of a
    // 4:3 photo fail this.
    double expected = static_cast<double>(w) * displayH / displayW;
    return std::fabs(h - expected) <= std::max(2.0, 0.02 * h);
}

// Where libheif applied the transformations, its result is what we turn by
// the EXIF orientation, whatever size it reported beforehand.
Geometry geometryAfterDecode(const ImageLayout& layout, const TileSource& source, int extraOrientation)
{
    if (layout.ownTransformations) {
        return layout.geometry;
    }
    Geometry g(source.canvasWidth(), source.canvasHeight());
    g.applyExifOrientation(extraOrientation);
    return g;
}

// What libjpeg takes as YCbCr: BT.601 at full range. Files that say
// nothing here are checked again on the decoded picture.
bool ycbcrFitsJpeg(const ColorDescription& c)
{
    return !c.hasNclx || (c.fullRange && (c.matrix == 2 || c.matrix == 5 || c.matrix == 6));
}

PixelFormat nativeOf(heif_colorspace space, heif_chroma chroma)
{
    PixelFormat format;
    if (space == heif_colorspace_YCbCr) {
        format.kind = PixelKind::YCbCr;
        format.chromaX = chroma == heif_chroma_444 ? 1 : 2;
        format.chromaY = chroma == heif_chroma_420 ? 2 : 1;
    }
    return format;
}

const char* decoderName(const char* id)
{
    return id != nullptr ? id : "libheif's default decoder";
}

std::string primariesName(int code)
{
    switch (code) {
    case 1:
        return "BT.709";
    case 9:
        return "BT.2020";
    case 11:
        return "DCI-P3";
    case 12:
        return "Display P3";
    default:
        return "nclx primaries " + std::to_string(code);
    }
}

class Job {
public:
    Job(const JobSettings& settings, JobReporter& reporter, int outputFd)
        : settings_(settings), reporter_(reporter), outputFd_(outputFd)
    {
    }

    JobResult heif(HeifPhoto& photo);
    JobResult picture(DecodedPicture& picture, FileKind kind);
    // Some attempt failed for want of memory or of a decoder: then even
    // a failed job says nothing against the file.
    bool sawShortcoming() const { return shortcoming_; }

private:
    Attempt encode(TileSource& source, const Geometry& geometry, const PhotoMetadata& metadata, bool premultiplied,
                   bool fullChroma);
    Attempt heifPrimary(HeifPhoto& photo, const char* decoder, PixelFormat format, const PhotoMetadata& metadata);
    Attempt heifThumbnailItem(HeifPhoto& photo, const heif_image_handle* handle, const char* decoder,
                              const PhotoMetadata& metadata);
    JobResult heifThumbnail(HeifPhoto& photo, const PhotoMetadata& metadata);
    Attempt exifThumbnail(const HeifPhoto& photo, const PhotoMetadata& metadata);
    // The size on the longer side that a thumbnail's source should have:
    // the cache entry's when one is made, else the list's.
    uint32_t thumbnailSourceSize() const;
    std::unique_ptr<CacheEntrySink> entrySink(BandSink& next, const PhotoMetadata& metadata) const;
    void note(const Attempt& attempt);
    PixelFormat heifFormat(const HeifPhoto& photo) const;
    PixelFormat thumbnailFormat(const HeifPhoto& photo, bool monochrome, bool alpha, const PixelFormat& native) const;
    std::vector<uint8_t> heifProfile(const HeifPhoto& photo) const;
    void addTextMetadata(PhotoMetadata& metadata, const std::optional<ExifBlock>& exif, const std::string& xmp,
                         bool turned, uint32_t width, uint32_t height);
    bool memoryFits(uint64_t needBytes, std::string& error) const;
    PngSink::Options pngOptions() const;
    // What the encoder holds besides the bands it is handed.
    uint64_t encoderMemoryBytes() const;
    std::vector<const char*> decodersFor(bool hevc) const;

    const JobSettings& settings_;
    JobReporter& reporter_;
    int outputFd_;
    std::unique_ptr<HdrToneMapper> toneMapper_;
    uint32_t photoWidth_ = 0;  // as shown
    uint32_t photoHeight_ = 0;
    bool shortcoming_ = false;
};

void Job::note(const Attempt& attempt)
{
    if (!attempt.ok && isMachineShortcoming(attempt.error)) {
        shortcoming_ = true;
    }
}

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

bool Job::memoryFits(uint64_t needBytes, std::string& error) const
{
    uint64_t available = availableMemoryBytes();
    if (available != 0 && needBytes > available) {
        error = "not enough memory: the photo needs about " + megabytes(needBytes) + ", " + megabytes(available) +
                " is available";
        return false;
    }
    return true;
}

PngSink::Options Job::pngOptions() const
{
    PngSink::Options options;
    options.threads = settings_.threads;
    return options;
}

uint64_t Job::encoderMemoryBytes() const
{
    return settings_.kind == JobKind::Png ? PngSink::memoryBytes(pngOptions()) : 0;
}

std::vector<const char*> Job::decodersFor(bool hevc) const
{
    if (!hevc || settings_.hevcDecoders.empty()) {
        return {nullptr};
    }
    return settings_.hevcDecoders;
}

void Job::addTextMetadata(PhotoMetadata& metadata, const std::optional<ExifBlock>& exif, const std::string& xmp,
                          bool turned, uint32_t width, uint32_t height)
{
    if (settings_.kind != JobKind::Jpeg || !settings_.keepExif) {
        return;
    }
    if (exif) {
        ExifBlock block = *exif;
        // The pixels stand upright already; a copied orientation would turn
        // the photo a second time in every viewer. The embedded thumbnail
        // still shows the old orientation, so it goes too.
        if (turned || block.orientation() > 1) {
            block.dropThumbnail();
        }
        block.setOrientationUpright();
        block.setPixelDimensions(width, height);
        size_t original = block.bytes().size();
        if (block.shrinkTo(kMaxJpegExifTiffBytes)) {
            if (block.bytes().size() < original) {
                reporter_.log("EXIF block of " + std::to_string(original) + " bytes shrunk to " +
                              std::to_string(block.bytes().size()) + " by leaving out its thumbnail");
            }
            metadata.exifTiff = block.bytes();
        } else {
            reporter_.log("EXIF block of " + std::to_string(original) +
                          " bytes does not fit in a JPEG segment; left out");
        }
    }
    if (!xmp.empty()) {
        std::string adjusted = adjustXmp(xmp, width, height);
        if (adjusted.size() <= kMaxJpegXmpBytes) {
            metadata.xmp = std::move(adjusted);
        } else {
            reporter_.log("XMP packet of " + std::to_string(adjusted.size()) +
                          " bytes does not fit in a JPEG segment; left out");
        }
    }
}

std::vector<uint8_t> Job::heifProfile(const HeifPhoto& photo) const
{
    const ColorDescription& color = photo.color();
    if (color.isHdr()) {
        // Tone mapping puts the pixels in Display P3.
        return makeRgbProfile(displayP3(), Transfer::Srgb, "Display P3");
    }
    if (!color.icc.empty()) {
        return color.icc;
    }
    // An nclx-only photo gets the profile its description stands for, so
    // wide-gamut colours survive; plain sRGB needs none.
    if (color.hasNclx && !isSrgbEquivalent(color.primaries, color.transfer)) {
        return makeRgbProfile(color.chromaticities, transferFromCode(color.transfer),
                              primariesName(color.primaries) + " (nclx " + std::to_string(color.primaries) + "/" +
                                  std::to_string(color.transfer) + ")");
    }
    return {};
}

PixelFormat Job::heifFormat(const HeifPhoto& photo) const
{
    PixelFormat format;
    const bool hdr = photo.color().isHdr();
    const bool mono = photo.monochrome() && !hdr;
    if (photo.hasAlpha()) {
        format.kind = mono ? PixelKind::GrayAlpha : PixelKind::Rgba;
    } else if (mono) {
        format.kind = PixelKind::Gray;
    } else if (!hdr && settings_.kind == JobKind::Jpeg && photo.nativeFormat().kind == PixelKind::YCbCr) {
        // Straight into the JPEG as YCbCr when the file's YCbCr is JPEG's
        // (BT.601 matrix, full range): no colour conversion, no loss.
        format = ycbcrFitsJpeg(photo.color()) ? photo.nativeFormat() : PixelFormat{PixelKind::Rgb, 1, 1};
    } else {
        format.kind = PixelKind::Rgb;
    }
    return format;
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

Attempt Job::heifPrimary(HeifPhoto& photo, const char* decoder, PixelFormat format, const PhotoMetadata& metadata)
{
    Attempt attempt;
    DecodeRequest request;
    request.format = format;
    request.decoderId = decoder;
    request.toneMapper = toneMapper_.get();
    std::atomic<bool> needsRgb{false};
    std::unique_ptr<TileSource> source;
    Geometry geometry;
    const uint64_t pixels = uint64_t{photo.width()} * photo.height();

    if (photo.tileable() && photo.gridGeometry().keepsChromaBlocks(format)) {
        // Tile by tile: the encoder works on one band while the next are
        // decoded, and the whole image is never in memory.
        geometry = photo.gridGeometry();
        source = photo.gridSource(request, needsRgb);
        PipelineOptions options;
        options.threads = settings_.threads;
        if (!source || !memoryFits(kBaseMemoryBytes + pipelineBandBytes(*source, geometry, options) * 2 +
                                       encoderMemoryBytes(),
                                   attempt.error)) {
            if (attempt.error.empty()) {
                attempt.error = "cannot decode the grid";
            }
            return attempt;
        }
    } else {
        geometry = photo.layout().geometry;
        if (!geometry.keepsChromaBlocks(format)) {
            format = PixelFormat{PixelKind::Rgb, 1, 1};
            request.format = format;
        }
        // libheif holds the decoded image, a turned copy and a converted
        // one at times; we then read it in bands.
        const uint64_t bytesPerPixel = request.toneMapper != nullptr ? 8 : 4;
        if (!memoryFits(kBaseMemoryBytes + pixels * bytesPerPixel * 3 + encoderMemoryBytes(), attempt.error)) {
            return attempt;
        }
        bool wholeNeedsRgb = false;
        ImageLayout layout = photo.layout();
        source = decodeWholeImage(photo.primary(), request, layout, wholeNeedsRgb, attempt.error);
        if (!source) {
            attempt.needsRgb = wholeNeedsRgb;
            attempt.decodeFailed = !wholeNeedsRgb;
            return attempt;
        }
        geometry = geometryAfterDecode(layout, *source, photo.extraOrientation());
    }
    const bool fullChroma = photo.nativeFormat().kind == PixelKind::YCbCr && photo.nativeFormat().chromaX == 1;
    attempt = encode(*source, geometry, metadata, photo.premultipliedAlpha(), fullChroma);
    attempt.needsRgb = needsRgb;
    return attempt;
}

JobResult Job::heif(HeifPhoto& photo)
{
    JobResult result;
    result.width = photo.displayWidth();
    result.height = photo.displayHeight();
    photoWidth_ = result.width;
    photoHeight_ = result.height;
    reporter_.progress(uint64_t{photo.width()} * photo.height());

    const ColorDescription& color = photo.color();
    if (color.isHdr()) {
        Chromaticities primaries = color.primaries == 2 ? chromaticitiesFromCode(9) : color.chromaticities;
        toneMapper_ = std::make_unique<HdrToneMapper>(transferFromCode(color.transfer), primaries, photo.bitDepth());
    }
    PhotoMetadata metadata;
    metadata.iccProfile = heifProfile(photo);
    if (settings_.kind == JobKind::Thumbnail) {
        return heifThumbnail(photo, metadata);
    }
    addTextMetadata(metadata, photo.exif(), photo.xmp(), photo.hasRotationOrMirror() || photo.extraOrientation() != 1,
                    result.width, result.height);

    PixelFormat format = heifFormat(photo);
    std::vector<const char*> decoders = decodersFor(photo.isHevc());
    for (size_t i = 0; i < decoders.size(); ++i) {
        Attempt attempt = heifPrimary(photo, decoders[i], format, metadata);
        if (!attempt.ok && attempt.needsRgb) {
            format = PixelFormat{PixelKind::Rgb, 1, 1};
            attempt = heifPrimary(photo, decoders[i], format, metadata);
        }
        note(attempt);
        if (attempt.ok) {
            result.ok = true;
            return result;
        }
        result.error = attempt.error;
        if (!attempt.decodeFailed || i + 1 == decoders.size()) {
            break;
        }
        reporter_.log(std::string(decoderName(decoders[i])) + " could not decode the photo (" + attempt.error +
                      "); trying " + decoderName(decoders[i + 1]));
    }
    return result;
}

Attempt Job::heifThumbnailItem(HeifPhoto& photo, const heif_image_handle* handle, const char* decoder,
                               const PhotoMetadata& metadata)
{
    Attempt attempt;
    DecodeRequest request;
    heif_colorspace space = heif_colorspace_undefined;
    heif_chroma chroma = heif_chroma_undefined;
    heif_image_handle_get_preferred_decoding_colorspace(handle, &space, &chroma);
    request.format = thumbnailFormat(photo, space == heif_colorspace_monochrome,
                                     heif_image_handle_has_alpha_channel(handle) != 0, nativeOf(space, chroma));
    request.decoderId = decoder;
    request.toneMapper = toneMapper_.get();
    uint64_t pixels = uint64_t(std::max(0, heif_image_handle_get_width(handle))) *
                      uint64_t(std::max(0, heif_image_handle_get_height(handle)));
    if (!memoryFits(kBaseMemoryBytes + pixels * 12, attempt.error)) {
        return attempt;
    }
    ImageLayout layout = layoutFor(photo.context(), handle, photo.extraOrientation());
    if (!layout.geometry.keepsChromaBlocks(request.format)) {
        request.format = PixelFormat{PixelKind::Rgb, 1, 1};
    }
    bool needsRgb = false;
    std::unique_ptr<TileSource> source = decodeWholeImage(handle, request, layout, needsRgb, attempt.error);
    if (!source && needsRgb) {
        request.format = PixelFormat{PixelKind::Rgb, 1, 1};
        layout = layoutFor(photo.context(), handle, photo.extraOrientation());
        source = decodeWholeImage(handle, request, layout, needsRgb, attempt.error);
    }
    if (!source) {
        attempt.decodeFailed = true;
        return attempt;
    }
    return encode(*source, geometryAfterDecode(layout, *source, photo.extraOrientation()), metadata,
                  heif_image_handle_is_premultiplied_alpha(handle) != 0, false);
}

PixelFormat Job::thumbnailFormat(const HeifPhoto& photo, bool monochrome, bool alpha, const PixelFormat& native) const
{
    // Straight from YCbCr to the JPEG's YCbCr where the file's is JPEG's
    // kind: converting a small picture to RGB and back costs more than
    // shrinking it.
    const bool hdr = toneMapper_ != nullptr;
    const bool mono = monochrome && !hdr;
    PixelFormat format;
    if (alpha) {
        format.kind = mono ? PixelKind::GrayAlpha : PixelKind::Rgba;
    } else if (mono) {
        format.kind = PixelKind::Gray;
    } else if (!hdr && native.kind == PixelKind::YCbCr && ycbcrFitsJpeg(photo.color())) {
        format = native;
    } else {
        format.kind = PixelKind::Rgb;
    }
    return format;
}

JobResult Job::heifThumbnail(HeifPhoto& photo, const PhotoMetadata& metadata)
{
    JobResult result;
    result.width = photo.displayWidth();
    result.height = photo.displayHeight();

    struct Candidate {
        HeifHandlePtr handle;
        uint32_t longer = 0;
        bool matches = false;
        bool hevc = true;
    };
    std::vector<Candidate> thumbnails;
    for (heif_item_id id : photo.thumbnailIds()) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(photo.primary(), id, &raw).code != heif_error_Ok || raw == nullptr) {
            continue;
        }
        Candidate c;
        c.handle.reset(raw);
        Geometry g = layoutFor(photo.context(), raw, photo.extraOrientation()).geometry;
        c.longer = std::max(g.width(), g.height());
        c.matches = aspectMatches(g.width(), g.height(), result.width, result.height);
        c.hevc = isHevcItem(photo.context(), id);
        thumbnails.push_back(std::move(c));
    }
    std::sort(thumbnails.begin(), thumbnails.end(),
              [](const Candidate& a, const Candidate& b) { return a.longer < b.longer; });

    // The smallest preview of the right shape that still fills the size
    // asked for; otherwise the photo itself, scaled down.
    const uint32_t enough = std::min(thumbnailSourceSize(), std::max(result.width, result.height));
    std::vector<const Candidate*> order;
    for (const Candidate& c : thumbnails) {
        if (c.matches && c.longer >= enough) {
            order.push_back(&c);
            break;
        }
    }
    if (order.empty() && photo.exif() && photo.exif()->thumbnailJpeg()) {
        // No preview of its own that serves: the camera's small JPEG in
        // the EXIF data costs a fraction of a decode of the photo.
        Attempt attempt = exifThumbnail(photo, metadata);
        note(attempt);
        if (attempt.ok && !attempt.bytes.empty()) {
            result.ok = true;
            result.entryWritten = attempt.entryWritten;
            result.thumbnail = std::move(attempt.bytes);
            return result;
        }
        reporter_.log("the EXIF thumbnail does not serve (" + attempt.error + "); decoding the photo");
    }
    order.push_back(nullptr);  // the primary image
    // Should the photo itself fail, any preview beats none.
    for (auto it = thumbnails.rbegin(); it != thumbnails.rend(); ++it) {
        if (std::find(order.begin(), order.end(), &*it) == order.end() && it->matches) {
            order.push_back(&*it);
        }
    }
    for (auto it = thumbnails.rbegin(); it != thumbnails.rend(); ++it) {
        if (std::find(order.begin(), order.end(), &*it) == order.end()) {
            order.push_back(&*it);
        }
    }

    for (const Candidate* c : order) {
        std::vector<const char*> decoders = decodersFor(c != nullptr ? c->hevc : photo.isHevc());
        for (const char* decoder : decoders) {
            Attempt attempt;
            if (c == nullptr) {
                PixelFormat format =
                    thumbnailFormat(photo, photo.monochrome(), photo.hasAlpha(), photo.nativeFormat());
                attempt = heifPrimary(photo, decoder, format, metadata);
                if (!attempt.ok && attempt.needsRgb) {
                    attempt = heifPrimary(photo, decoder, PixelFormat{PixelKind::Rgb, 1, 1}, metadata);
                }
            } else {
                attempt = heifThumbnailItem(photo, c->handle.get(), decoder, metadata);
            }
            note(attempt);
            if (attempt.ok && !attempt.bytes.empty()) {
                result.ok = true;
                result.entryWritten = attempt.entryWritten;
                result.thumbnail = std::move(attempt.bytes);
                return result;
            }
            result.error = attempt.error;
            if (!attempt.decodeFailed) {
                break;
            }
        }
    }
    return result;
}

Attempt Job::exifThumbnail(const HeifPhoto& photo, const PhotoMetadata& metadata)
{
    Attempt attempt;
    const ExifBlock& exif = *photo.exif();
    const auto [offset, length] = *exif.thumbnailJpeg();
    DecodedPicture picture;
    const uint64_t available = availableMemoryBytes();
    if (!decodeJpeg(exif.bytes().data() + offset, length, 0, available != 0 ? available : (1ull << 30), picture,
                    attempt.error)) {
        return attempt;
    }
    std::unique_ptr<WholeImageSource> source = WholeImageSource::of(picture.raster);
    // Stored as the sensor saw it, like the photo: turned by the camera's
    // orientation, it must show the photo's shape.
    Geometry geometry(source->canvasWidth(), source->canvasHeight());
    const int orientation = exif.orientation() != 0 ? exif.orientation() : 1;
    if (!geometry.applyExifOrientation(orientation) ||
        !aspectMatches(geometry.width(), geometry.height(), photo.displayWidth(), photo.displayHeight())) {
        attempt.error = "it shows another shape than the photo";
        return attempt;
    }
    if (std::max(geometry.width(), geometry.height()) < settings_.thumbnailSize &&
        source->canvasWidth() < kUsableExifThumbnailWidth) {
        attempt.error = "it is too small";
        return attempt;
    }
    return encode(*source, geometry, metadata, false, false);
}

JobResult Job::picture(DecodedPicture& picture, FileKind kind)
{
    JobResult result;
    std::unique_ptr<WholeImageSource> source = WholeImageSource::of(picture.raster);
    Geometry geometry(source->canvasWidth(), source->canvasHeight());
    if (!geometry.applyExifOrientation(picture.orientation)) {
        geometry = Geometry(source->canvasWidth(), source->canvasHeight());
    }
    result.width = geometry.width();
    result.height = geometry.height();
    photoWidth_ = result.width;
    photoHeight_ = result.height;
    reporter_.progress(uint64_t{source->canvasWidth()} * source->canvasHeight());

    PhotoMetadata metadata;
    metadata.iccProfile = picture.metadata.iccProfile;
    if (settings_.kind != JobKind::Thumbnail) {
        std::optional<ExifBlock> exif;
        if (!picture.metadata.exifTiff.empty()) {
            exif = ExifBlock::parse(picture.metadata.exifTiff);
        }
        addTextMetadata(metadata, exif, picture.metadata.xmp, picture.orientation != 1, result.width, result.height);
    }
    // A PNG may be a drawing or a screenshot: keep its colour detail at
    // high quality.
    const bool fullChroma = kind == FileKind::Png && settings_.quality >= 90;
    Attempt attempt = encode(*source, geometry, metadata, false, fullChroma);
    note(attempt);
    result.ok = attempt.ok;
    result.error = attempt.error;
    result.entryWritten = attempt.entryWritten;
    result.thumbnail = std::move(attempt.bytes);
    return result;
}

}  // namespace

FileKind sniffFile(const uint8_t* data, size_t size)
{
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        return FileKind::Jpeg;
    }
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0) {
        return FileKind::Png;
    }
    if (size >= 12 && std::memcmp(data + 4, "ftyp", 4) == 0) {
        return FileKind::Heif;
    }
    return FileKind::Unknown;
}

namespace {

JobResult runFileJob(Job& job, const JobSettings& settings, std::shared_ptr<const SourceBytes> file,
                     JobReporter& reporter)
{
    JobResult result;
    const uint64_t available = availableMemoryBytes();
    const uint64_t budget = available != 0 ? available : (4ull << 30);
    FileKind kind = sniffFile(file->data(), file->size());
    switch (kind) {
    case FileKind::Heif: {
        std::unique_ptr<HeifPhoto> photo = HeifPhoto::open(std::move(file), budget, settings.threads, result.error);
        if (!photo) {
            return result;
        }
        return job.heif(*photo);
    }
    case FileKind::Jpeg:
    case FileKind::Png: {
        DecodedPicture picture;
        uint32_t minSide =
            settings.kind == JobKind::Thumbnail ? std::max(settings.thumbnailSize, settings.entrySize) : 0;
        bool ok = kind == FileKind::Jpeg
                      ? decodeJpeg(file->data(), file->size(), minSide, budget, picture, result.error)
                      : decodePng(file->data(), file->size(), budget, picture, result.error);
        if (!ok) {
            return result;
        }
        if (kind == FileKind::Jpeg) {
            reporter.log("the file is a JPEG picture under another name; converting it as such");
        } else {
            reporter.log("the file is a PNG picture under another name; converting it as such");
        }
        return job.picture(picture, kind);
    }
    default:
        result.error = "not a HEIF, JPEG or PNG file";
        return result;
    }
}

}  // namespace

JobResult runJob(const JobSettings& settings, std::shared_ptr<const SourceBytes> file, int outputFd,
                 JobReporter& reporter)
{
    JobResult result;
    if (!file || file->size() == 0) {
        result.error = "the file is empty";
        return result;
    }
    Job job(settings, reporter, outputFd);
    result = runFileJob(job, settings, std::move(file), reporter);
    result.fileAtFault = !result.ok && !job.sawShortcoming() && !isMachineShortcoming(result.error);
    return result;
}

JobResult thumbnailOfPicture(const JobSettings& settings, DecodedPicture& picture, JobReporter& reporter)
{
    JobSettings listOnly = settings;
    listOnly.kind = JobKind::Thumbnail;
    listOnly.entrySize = 0;
    Job job(listOnly, reporter, -1);
    // A list picture has no use for chroma at full resolution.
    return job.picture(picture, FileKind::Unknown);
}

}  // namespace photocodec
