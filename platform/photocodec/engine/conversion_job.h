// One request of the helper process: a photo converted to JPEG or PNG, or
// a thumbnail made of it. Runs inside the helper, so whatever the decoders
// do to the process stays there.
#ifndef PHOTOCODEC_CONVERSION_JOB_H
#define PHOTOCODEC_CONVERSION_JOB_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cache_entry.h"
#include "picture_readers.h"
#include "source_bytes.h"

namespace photocodec {

enum class JobKind { Jpeg, Png, Thumbnail };

struct JobSettings {
    JobKind kind = JobKind::Jpeg;
    int quality = 90;
    bool keepExif = false;
    // JPEG and PNG: the longer side of the result at most (0: the photo's
    // own size). Photos are shrunk after they are turned upright, never
    // enlarged.
    uint32_t maxEdge = 0;
    uint32_t thumbnailSize = 256;
    // Thumbnails: the desktop's cache entry to write beside the list
    // picture, this long on its longer side (0: none), with the photo's keys.
    uint32_t entrySize = 0;
    EntryKeys entryKeys;
    // HEVC decoder plug-ins to try in turn; a null entry is libheif's own
    // choice.
    std::vector<const char*> hevcDecoders;
    int threads = 2;
};

class JobReporter {
public:
    virtual ~JobReporter() = default;
    // The photo's size, once known: the caller scales its time limit.
    virtual void progress(uint64_t pixelCount) = 0;
    virtual void log(const std::string& line) = 0;
};

struct JobResult {
    bool ok = false;
    uint32_t width = 0;   // the photo as shown
    uint32_t height = 0;
    std::vector<uint8_t> thumbnail;
    std::string error;
    // Failed for what the file holds (not a photo, damaged, nothing
    // decodable), not for the machine's want of memory or a decoder.
    bool fileAtFault = false;
    bool entryWritten = false;  // thumbnails: the cache entry is complete
};

// `outputFd` receives the file; for thumbnails, the cache entry (-1: none).
JobResult runJob(const JobSettings& settings, std::shared_ptr<const SourceBytes> file, int outputFd,
                 JobReporter& reporter);

// The list picture of a picture in hand (a cache entry): flattened on
// white and shrunk to settings.thumbnailSize; no entry is written.
JobResult thumbnailOfPicture(const JobSettings& settings, DecodedPicture& picture, JobReporter& reporter);

enum class FileKind { Heif, Jpeg, Png, Unknown };
// By content, never by name.
FileKind sniffFile(const uint8_t* data, size_t size);

}  // namespace photocodec

#endif  // PHOTOCODEC_CONVERSION_JOB_H
