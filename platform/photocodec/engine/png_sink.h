// Encodes the output bands as an 8-bit PNG: RGB, RGBA, gray or gray with
// alpha, with the photo's ICC profile as iCCP. libpng writes the chunks;
// the image data is filtered here and compressed on every core.
#ifndef PHOTOCODEC_PNG_SINK_H
#define PHOTOCODEC_PNG_SINK_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "band_sink.h"
#include "parallel_deflate.h"
#include "photo_metadata.h"

namespace photocodec {

class PngSink : public BandSink {
public:
    // zlib level 3 with the "up" filter alone. Measured on eight
    // 12-megapixel phone photos it writes about four times as fast as
    // libpng's defaults (level 6, every filter tried on every row) and the
    // files come out within 1 % of theirs; the other single filters lose
    // 2-10 % in size, and levels 1 and 2 save time but cost 10-15 %.
    static constexpr int kCompressionLevel = 3;

    struct Options {
        int threads = 2;
        size_t stripBytes = ParallelDeflate::Options().stripBytes;
    };

    PngSink(FILE* file, PhotoMetadata metadata, const Options& options);
    ~PngSink() override;

    bool begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error) override;
    bool consume(Band& band, std::string& error) override;
    bool finish(std::string& error) override;

    // What the compressor holds in memory at most.
    static uint64_t memoryBytes(const Options& options);

private:
    class Codec;
    static ParallelDeflate::Options deflateOptions(const Options& options);
    bool writeRow(const uint8_t* row, std::string& error);

    FILE* file_;
    PhotoMetadata metadata_;
    Options options_;
    std::unique_ptr<Codec> codec_;
    std::unique_ptr<ParallelDeflate> deflate_;
    PixelFormat format_;
    uint32_t height_ = 0;
    uint32_t rowsWritten_ = 0;
    std::vector<uint8_t> interleaved_;  // one gray+alpha row
    std::vector<uint8_t> previous_;     // the last row, for the "up" filter
    std::vector<uint8_t> filtered_;     // filter type byte and one filtered row
};

}  // namespace photocodec

#endif  // PHOTOCODEC_PNG_SINK_H
