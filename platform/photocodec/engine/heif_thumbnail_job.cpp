#include "photo_job.h"

#include <algorithm>
#include <cmath>

#include "memory_budget.h"
#include "picture_readers.h"
#include "sink_adapters.h"

namespace photocodec {

namespace {

// An EXIF thumbnail this wide serves a list of any size (the usual 160 x
// 120 one fills a row of 60 pixels at twice the density).
constexpr uint32_t kUsableExifThumbnailWidth = 120;

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

}  // namespace

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

    // A thumbnail made ends the search: it becomes the result.
    auto serves = [&result](Attempt& attempt) {
        if (!attempt.ok || attempt.bytes.empty()) {
            return false;
        }
        result.ok = true;
        result.entryWritten = attempt.entryWritten;
        result.thumbnail = std::move(attempt.bytes);
        return true;
    };

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
        if (serves(attempt)) {
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
            if (serves(attempt)) {
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

}  // namespace photocodec
