// Entries of the desktop's thumbnail cache, on the helper's side: the keys
// by which a stored entry stands for a photo, and those a new one carries.
// An entry is a PNG whose text keys name the photo (Thumb::URI) as it was
// when the entry was made (Thumb::MTime, and Thumb::Size where written).
#ifndef PHOTOCODEC_CACHE_ENTRY_H
#define PHOTOCODEC_CACHE_ENTRY_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace photocodec {

struct EntryKeys {
    std::string uri;
    int64_t modifiedSeconds = 0;
    int64_t fileBytes = 0;
    std::string software;  // written, never compared
};

struct StoredEntryFacts {
    uint32_t width = 0;  // the entry's picture
    uint32_t height = 0;
    // What it says of the photo (Thumb::Image::Width / Height); 0 when it
    // says nothing.
    uint32_t photoWidth = 0;
    uint32_t photoHeight = 0;
};

// True when the PNG in `data` stands for the photo of `keys`; otherwise
// `why` says what is wrong with it (not a PNG, another photo, an older
// state of it).
bool entryStandsFor(const uint8_t* data, size_t size, const EntryKeys& keys, StoredEntryFacts& facts,
                    std::string& why);

// The text keys of a new entry for a photo shown at photoWidth x photoHeight.
std::vector<std::pair<std::string, std::string>> newEntryText(const EntryKeys& keys, uint32_t photoWidth,
                                                              uint32_t photoHeight);

}  // namespace photocodec

#endif  // PHOTOCODEC_CACHE_ENTRY_H
