#include "cached_thumbnail.h"

#include <algorithm>

#include "heif_photo.h"
#include "memory_budget.h"
#include "picture_readers.h"

namespace photocodec {

namespace {

// What decoding the largest entry (xx-large, 1024 x 1024 with alpha) takes.
constexpr uint64_t kMostEntryBytes = 16u << 20;

// The photo's shown size from its header alone: libheif reads the boxes,
// not the coded image.
bool shownSize(std::shared_ptr<const SourceBytes> photo, int threads, uint32_t& width, uint32_t& height,
               std::string& error)
{
    if (!photo || sniffFile(photo->data(), photo->size()) != FileKind::Heif) {
        error = "the photo's size is not known without decoding it";
        return false;
    }
    const uint64_t available = availableMemoryBytes();
    std::unique_ptr<HeifPhoto> heif =
        HeifPhoto::open(std::move(photo), available != 0 ? available : (4ull << 30), threads, error,
                        HeifPhoto::Reading::ShownSizeOnly);
    if (!heif) {
        return false;
    }
    width = heif->displayWidth();
    height = heif->displayHeight();
    return width > 0 && height > 0;
}

}  // namespace

JobResult thumbnailFromEntry(const JobSettings& settings, const SourceBytes& entry, const PhotoBytes& photo,
                             JobReporter& reporter)
{
    JobResult result;
    StoredEntryFacts facts;
    if (!entryStandsFor(entry.data(), entry.size(), settings.entryKeys, facts, result.error)) {
        return result;
    }
    if (std::max(facts.width, facts.height) > settings.entrySize) {
        result.error = "it is larger than its size folder allows";
        return result;
    }
    uint32_t photoWidth = facts.photoWidth;
    uint32_t photoHeight = facts.photoHeight;
    if ((photoWidth == 0 || photoHeight == 0) &&
        !shownSize(photo(), settings.threads, photoWidth, photoHeight, result.error)) {
        return result;
    }
    // Smaller than the list needs is only right for a photo that small.
    if (std::max(facts.width, facts.height) <
        std::min(settings.thumbnailSize, std::max(photoWidth, photoHeight))) {
        result.error = "it is smaller than the thumbnail asked for";
        return result;
    }
    // Its size is checked: a few megabytes at most.
    DecodedPicture picture;
    if (!decodePng(entry.data(), entry.size(), kMostEntryBytes, picture, result.error)) {
        return result;
    }
    result = thumbnailOfPicture(settings, picture, reporter);
    result.width = photoWidth;
    result.height = photoHeight;
    return result;
}

bool entryMatches(const SourceBytes& entry, const EntryKeys& keys, std::string& why)
{
    StoredEntryFacts facts;
    return entryStandsFor(entry.data(), entry.size(), keys, facts, why);
}

}  // namespace photocodec
