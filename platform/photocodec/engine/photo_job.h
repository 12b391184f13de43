// The work of one request inside the helper, in parts: the HEIF job
// (heif_job.cpp), its thumbnails from previews, the EXIF thumbnail or the
// photo (heif_thumbnail_job.cpp), the job for JPEG and PNG pictures
// (picture_job.cpp) and the encode chain every attempt ends in
// (encode_chain.cpp). conversion_job.cpp picks the job for a file.
#ifndef PHOTOCODEC_PHOTO_JOB_H
#define PHOTOCODEC_PHOTO_JOB_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "band_sink.h"
#include "cache_entry_sink.h"
#include "conversion_job.h"
#include "exif_block.h"
#include "hdr_tone_mapper.h"
#include "heif_photo.h"
#include "photo_metadata.h"
#include "png_sink.h"
#include "resize_sink.h"

namespace photocodec {

// What the helper itself, its libraries and a few tiles take besides the
// image.
constexpr uint64_t kBaseMemoryBytes = 96ull << 20;

struct Attempt {
    bool ok = false;
    bool decodeFailed = false;  // worth another decoder
    bool needsRgb = false;      // worth another go through RGB
    bool entryWritten = false;
    std::string error;
    std::vector<uint8_t> bytes;
};

// Where libheif applied the transformations, its result is what we turn by
// the EXIF orientation, whatever size it reported beforehand.
Geometry geometryAfterDecode(const ImageLayout& layout, const TileSource& source, int extraOrientation);

// What libjpeg takes as YCbCr: BT.601 at full range. Files that say
// nothing here are checked again on the decoded picture.
bool ycbcrFitsJpeg(const ColorDescription& c);

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
    // The encode chain every attempt ends in (encode_chain.cpp).
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
    // What the encoder (and the resize before it) holds besides the bands
    // it is handed.
    uint64_t encoderMemoryBytes() const;
    // The size of the file's image: the photo's as shown, or smaller when
    // the settings ask for it.
    Size outputSize() const;
    std::vector<const char*> decodersFor(bool hevc) const;

    const JobSettings& settings_;
    JobReporter& reporter_;
    int outputFd_;
    std::unique_ptr<HdrToneMapper> toneMapper_;
    uint32_t photoWidth_ = 0;  // as shown
    uint32_t photoHeight_ = 0;
    bool shortcoming_ = false;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_PHOTO_JOB_H
