// The update feed: an XML document that lists the published versions.
#ifndef REFRESH_UPDATE_FEED_H
#define REFRESH_UPDATE_FEED_H

#include <cstdint>
#include <string>
#include <vector>

namespace update_feed {

struct Entry {
    std::string version;
    std::string url;     // the package, resolved against the feed's URL
    std::string md5;     // lower-case hex
    std::string sha256;  // lower-case hex
    std::vector<std::string> lines;
};

// The largest feed and the largest values that are read.
constexpr size_t kMaxFeedBytes = 1 << 20;
constexpr size_t kMaxEntries = 200;
constexpr size_t kMaxLines = 500;
constexpr size_t kMaxLineBytes = 4096;

// Parses `document`, fetched from `feedUrl`. Returns LU_OK or LU_BAD_FEED.
int32_t Parse(const std::string& document, const std::string& feedUrl, std::vector<Entry>& entries);

// The entries newer than `running`, newest first.
std::vector<Entry> NewerThan(std::vector<Entry> entries, const std::string& running);

// "1", "1.2", "1.2.3" or "1.2.3.4", each number at most nine digits.
bool IsVersion(const std::string& text);

}  // namespace update_feed

#endif  // REFRESH_UPDATE_FEED_H
