// Sinks that change the bands on their way to another sink.
#ifndef PHOTOCODEC_SINK_ADAPTERS_H
#define PHOTOCODEC_SINK_ADAPTERS_H

#include <cstdint>
#include <string>
#include <vector>

#include "band_sink.h"
#include "pixel_format.h"

namespace photocodec {

// Puts transparent pixels on white, as a JPEG cannot keep them: RGBA
// becomes RGB and gray+alpha becomes gray. Other formats pass unchanged.
class FlattenAlphaSink : public BandSink {
public:
    FlattenAlphaSink(BandSink& next, bool premultiplied) : next_(next), premultiplied_(premultiplied) {}

    bool begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error) override;
    bool consume(Band& band, std::string& error) override;
    bool finish(std::string& error) override { return next_.finish(error); }

private:
    BandSink& next_;
    bool premultiplied_;
    PixelFormat in_;
    Raster out_;
};

// Shrinks one plane by averaging the area each output sample covers.
class PlaneShrinker {
public:
    void start(uint32_t inWidth, uint32_t inHeight, uint32_t outWidth, uint32_t outHeight, int channels,
               PlaneView out);
    void addRow(const uint8_t* row);
    void finish();

private:
    struct Tap {
        uint32_t source;
        uint32_t target;
        float weight;
    };
    template <int Channels>
    void spreadRow(const uint8_t* row);
    void emitCurrentRow();

    uint32_t inHeight_ = 0;
    uint32_t outHeight_ = 0;
    int channels_ = 1;
    float area_ = 1.f;
    double span_ = 1.0;  // source rows per output row
    PlaneView out_;
    std::vector<Tap> taps_;      // horizontal weights
    std::vector<float> rowSum_;  // one source row, resampled across
    // The two output rows a source row can reach, being summed.
    std::vector<float> current_;
    std::vector<float> following_;
    uint32_t currentRow_ = 0;
    uint32_t sourceRow_ = 0;
};

// Shrinks the image to fit `maxSide` on its longer side; a smaller image
// passes unchanged. RGB, gray or YCbCr (each plane on its own grid). The
// whole (small) result is handed on at the end.
class DownscaleSink : public BandSink {
public:
    DownscaleSink(BandSink& next, uint32_t maxSide) : next_(next), maxSide_(maxSide) {}

    bool begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error) override;
    bool consume(Band& band, std::string& error) override;
    bool finish(std::string& error) override;

private:
    BandSink& next_;
    uint32_t maxSide_;
    PixelFormat format_;
    uint32_t outWidth_ = 0;
    uint32_t outHeight_ = 0;
    bool passThrough_ = false;
    std::vector<PlaneShrinker> planes_;
    Raster result_;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_SINK_ADAPTERS_H
