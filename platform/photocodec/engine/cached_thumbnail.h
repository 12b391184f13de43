// Thumbnails out of the desktop's thumbnail cache: a stored entry checked
// against the photo and shrunk for the list, with the photo's own size
// taken from the entry or, when it does not say, from the photo's header.
#ifndef PHOTOCODEC_CACHED_THUMBNAIL_H
#define PHOTOCODEC_CACHED_THUMBNAIL_H

#include <functional>
#include <memory>
#include <string>

#include "cache_entry.h"
#include "conversion_job.h"
#include "source_bytes.h"

namespace photocodec {

// settings.entrySize is the most the entry's size folder allows on the
// longer side; settings.entryKeys the photo's. `photo` gives the photo's
// bytes, asked for only when the entry does not tell the photo's size.
// Fails, with the reason, for an entry that does not stand for the photo,
// is larger than its folder allows or smaller than the list needs.
using PhotoBytes = std::function<std::shared_ptr<const SourceBytes>()>;
JobResult thumbnailFromEntry(const JobSettings& settings, const SourceBytes& entry, const PhotoBytes& photo,
                             JobReporter& reporter);

// Whether an entry (a failure's) stands for the photo of `keys`.
bool entryMatches(const SourceBytes& entry, const EntryKeys& keys, std::string& why);

}  // namespace photocodec

#endif  // PHOTOCODEC_CACHED_THUMBNAIL_H
