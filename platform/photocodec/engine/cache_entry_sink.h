// Keeps a copy of the small picture passing through as a thumbnail cache
// entry: a PNG with the entry's text keys, written to a descriptor at the
// end, while the bands go on unchanged (to be shrunk further for the list).
// The entry is a by-product: when it cannot be written the bands still go
// on, and only written() tells.
#ifndef PHOTOCODEC_CACHE_ENTRY_SINK_H
#define PHOTOCODEC_CACHE_ENTRY_SINK_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "band_sink.h"
#include "pixel_format.h"

namespace photocodec {

class CacheEntrySink : public BandSink {
public:
    struct Entry {
        int fd = -1;
        std::vector<std::pair<std::string, std::string>> text;
        std::vector<uint8_t> iccProfile;
        // A picture shorter than this on its longer side is no entry: a
        // file manager reading the entry must get the full size it expects.
        uint32_t minimumSide = 0;
    };

    CacheEntrySink(BandSink& next, Entry entry) : next_(next), entry_(std::move(entry)) {}

    bool begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error) override;
    bool consume(Band& band, std::string& error) override;
    bool finish(std::string& error) override;

    bool written() const { return written_; }

private:
    void keepRows(const Band& band);
    bool writeEntry() const;

    BandSink& next_;
    Entry entry_;
    PixelFormat in_;
    Raster picture_;  // RGB or gray
    bool keeping_ = false;
    bool written_ = false;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_CACHE_ENTRY_SINK_H
