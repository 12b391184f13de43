#include "photo_job.h"

#include "sink_adapters.h"

namespace photocodec {

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
        const Size output = outputSize();
        addTextMetadata(metadata, exif, picture.metadata.xmp, picture.orientation != 1, output.width, output.height);
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

}  // namespace photocodec
