// Encodes the output bands as a baseline JPEG with libjpeg-turbo. YCbCr
// bands go in as raw planes at their own subsampling, so no colour
// conversion happens on the way; RGB and gray bands go in as scanlines.
#ifndef PHOTOCODEC_JPEG_SINK_H
#define PHOTOCODEC_JPEG_SINK_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "band_sink.h"
#include "photo_metadata.h"

namespace photocodec {

class JpegSink : public BandSink {
public:
    struct Options {
        int quality = 90;
        // For RGB bands: 4:4:4 instead of 4:2:0.
        bool fullChroma = false;
    };

    // Writes to `file` (not owned), or to memory when `file` is null.
    JpegSink(FILE* file, const Options& options, PhotoMetadata metadata);
    ~JpegSink() override;

    bool begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error) override;
    bool consume(Band& band, std::string& error) override;
    bool finish(std::string& error) override;

    // The encoded bytes, when writing to memory.
    std::vector<uint8_t> takeBytes();

private:
    class Codec;
    bool writeRawRows(Band& band, uint32_t first, uint32_t count, std::string& error);
    bool flushStaging(bool final, std::string& error);

    FILE* file_;
    Options options_;
    PhotoMetadata metadata_;
    std::unique_ptr<Codec> codec_;
    PixelFormat format_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    bool raw_ = false;
    uint32_t mcuRows_ = 8;
    std::vector<uint32_t> paddedWidth_;  // per plane, what libjpeg reads of a row
    // Rows of a partial MCU row, kept until the next band completes it.
    std::vector<std::vector<uint8_t>> staging_;
    uint32_t stagedRows_ = 0;
    uint32_t rowsWritten_ = 0;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_JPEG_SINK_H
