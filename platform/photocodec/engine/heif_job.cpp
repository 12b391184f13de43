#include "photo_job.h"

#include <atomic>

#include "color_profile.h"
#include "tile_pipeline.h"

namespace photocodec {

namespace {

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

}  // namespace

Geometry geometryAfterDecode(const ImageLayout& layout, const TileSource& source, int extraOrientation)
{
    if (layout.ownTransformations) {
        return layout.geometry;
    }
    Geometry g(source.canvasWidth(), source.canvasHeight());
    g.applyExifOrientation(extraOrientation);
    return g;
}

bool ycbcrFitsJpeg(const ColorDescription& c)
{
    return !c.hasNclx || (c.fullRange && (c.matrix == 2 || c.matrix == 5 || c.matrix == 6));
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
    const Size output = outputSize();
    addTextMetadata(metadata, photo.exif(), photo.xmp(), photo.hasRotationOrMirror() || photo.extraOrientation() != 1,
                    output.width, output.height);

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

}  // namespace photocodec
