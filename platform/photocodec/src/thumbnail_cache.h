// The desktop's shared thumbnail cache (the freedesktop.org "Thumbnail
// Managing Standard"), as the codec uses it: $XDG_CACHE_HOME/thumbnails/
// (else ~/.cache/thumbnails/) with a folder per size, each entry a PNG
// named by the MD5 of the photo's URI. This class finds, opens and puts in
// place entry files, safely; what an entry holds is read and written by
// the helper, since other programs' files are no more trusted than photos.
#ifndef PHOTOCODEC_THUMBNAIL_CACHE_H
#define PHOTOCODEC_THUMBNAIL_CACHE_H

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "unique_fd.h"

namespace photocodec {

// A new entry, written under a temporary name in its folder and renamed
// over the entry's name only when complete; removed if never committed.
class NewCacheEntry {
public:
    NewCacheEntry(int folder, std::string name, UniqueFd fd, std::string tempName);
    ~NewCacheEntry();
    NewCacheEntry(const NewCacheEntry&) = delete;
    NewCacheEntry& operator=(const NewCacheEntry&) = delete;

    int fd() const { return fd_.get(); }
    // True when the entry is in place.
    bool commit();

private:
    int folder_;  // the cache's, open while the cache lives
    std::string name_;
    UniqueFd fd_;
    std::string tempName_;  // empty once renamed
};

class ThumbnailCache {
public:
    struct SizeFolder {
        const char* name;
        int32_t pixels;  // the longer side of its entries
    };
    // The standard's sizes, smallest first.
    static constexpr std::array<SizeFolder, 4> kSizes{
        {{"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}}};
    // Larger files are no thumbnails of ours to read.
    static constexpr off_t kMaxEntryBytes = 8 << 20;

    // A photo's place in the cache.
    struct Photo {
        std::string uri;
        std::string entryName;  // the MD5 of the URI in hex, then ".png"
        int64_t modifiedSeconds = 0;
        int64_t fileBytes = 0;
        // The smallest size folder whose entries fill the size asked for;
        // kSizes.size() when none does.
        size_t sizeIndex = 0;
    };

    struct StoredEntry {
        UniqueFd fd;
        int32_t folderPixels = 0;
    };

    ThumbnailCache() = default;
    ThumbnailCache(const ThumbnailCache&) = delete;
    ThumbnailCache& operator=(const ThumbnailCache&) = delete;

    // Empty when the cache is of no use for this photo: no cache folder,
    // or a photo inside the cache itself. `info` is the opened photo's.
    std::optional<Photo> locate(const std::string& path, const struct stat& info, int32_t size);
    // The photo's entries that may hold a thumbnail of the size asked for,
    // smallest first, opened for reading.
    std::vector<StoredEntry> storedEntries(const Photo& photo);
    // The entry that says our codec failed on the photo before.
    UniqueFd failureEntry(const Photo& photo);
    // A new entry in the photo's size folder; null when it cannot be made
    // (no such size, a read-only or broken folder).
    std::unique_ptr<NewCacheEntry> newEntry(const Photo& photo);
    // Notes that the codec cannot make a thumbnail of the photo as the
    // file is now.
    void recordFailure(const Photo& photo);

    // The software name written into our entries.
    static std::string software();

private:
    bool open();
    // The folder below the thumbnail folder at `relative` (one or two
    // steps), opened once and checked; -1 when unusable. Missing folders
    // are made only when `create`.
    int folder(const std::string& relative, bool create);
    UniqueFd openBelow(const std::string& relative, bool create) const;

    bool opened_ = false;
    UniqueFd thumbnails_;
    std::string thumbnailsRealPath_;
    struct Folder {
        std::string relative;
        UniqueFd fd;  // invalid: tried and found unusable
    };
    std::vector<Folder> folders_;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_THUMBNAIL_CACHE_H
