#include "conversion_job.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "failure_kind.h"
#include "memory_budget.h"
#include "photo_job.h"
#include "xmp_packet.h"

namespace photocodec {

namespace {

std::string megabytes(uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

}  // namespace

void Job::note(const Attempt& attempt)
{
    if (!attempt.ok && isMachineShortcoming(attempt.error)) {
        shortcoming_ = true;
    }
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
