#include "cache_entry.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "picture_readers.h"

namespace photocodec {

namespace {

constexpr const char* kUri = "Thumb::URI";
constexpr const char* kModified = "Thumb::MTime";
constexpr const char* kFileSize = "Thumb::Size";
constexpr const char* kPhotoWidth = "Thumb::Image::Width";
constexpr const char* kPhotoHeight = "Thumb::Image::Height";

// A whole decimal number and nothing else.
std::optional<int64_t> wholeNumber(const std::string& text)
{
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size()) {
        return std::nullopt;
    }
    return static_cast<int64_t>(value);
}

uint32_t photoSide(const std::optional<int64_t>& value)
{
    return value && *value > 0 && *value <= 1000000 ? static_cast<uint32_t>(*value) : 0;
}

}  // namespace

bool entryStandsFor(const uint8_t* data, size_t size, const EntryKeys& keys, StoredEntryFacts& facts,
                    std::string& why)
{
    PngFacts png;
    if (!readPngFacts(data, size, png, why)) {
        why = "not a readable PNG file: " + why;
        return false;
    }
    const std::string* uri = nullptr;
    const std::string* modified = nullptr;
    const std::string* fileSize = nullptr;
    std::optional<int64_t> photoWidth;
    std::optional<int64_t> photoHeight;
    for (const auto& [key, value] : png.text) {
        if (key == kUri) {
            uri = &value;
        } else if (key == kModified) {
            modified = &value;
        } else if (key == kFileSize) {
            fileSize = &value;
        } else if (key == kPhotoWidth) {
            photoWidth = wholeNumber(value);
        } else if (key == kPhotoHeight) {
            photoHeight = wholeNumber(value);
        }
    }
    if (uri == nullptr || *uri != keys.uri) {
        why = "it belongs to another file";
        return false;
    }
    if (modified == nullptr || wholeNumber(*modified) != keys.modifiedSeconds) {
        why = "the photo has changed since";
        return false;
    }
    // Optional in the standard; where written, a replaced photo of the
    // same second still shows.
    if (fileSize != nullptr && wholeNumber(*fileSize) != keys.fileBytes) {
        why = "the photo has changed since";
        return false;
    }
    facts.width = png.width;
    facts.height = png.height;
    facts.photoWidth = photoSide(photoWidth);
    facts.photoHeight = photoSide(photoHeight);
    if (facts.photoWidth == 0 || facts.photoHeight == 0) {
        facts.photoWidth = facts.photoHeight = 0;
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> newEntryText(const EntryKeys& keys, uint32_t photoWidth,
                                                              uint32_t photoHeight)
{
    return {{kUri, keys.uri},
            {kModified, std::to_string(keys.modifiedSeconds)},
            {kFileSize, std::to_string(keys.fileBytes)},
            {kPhotoWidth, std::to_string(photoWidth)},
            {kPhotoHeight, std::to_string(photoHeight)},
            {"Software", keys.software}};
}

}  // namespace photocodec
