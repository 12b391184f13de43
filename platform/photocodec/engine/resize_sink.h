// Shrinks the output image on its way to the encoder, with libswscale,
// band by band: the full-size image is never whole in memory, only the
// (small) result is.
#ifndef PHOTOCODEC_RESIZE_SINK_H
#define PHOTOCODEC_RESIZE_SINK_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "band_sink.h"
#include "pixel_format.h"

struct SwsContext;

namespace photocodec {

class SwscaleLibrary;

struct Size {
    uint32_t width = 0;
    uint32_t height = 0;
    bool operator==(const Size& o) const { return width == o.width && height == o.height; }
};

// The size an image has after fitting `maxEdge`: its longer side exactly
// `maxEdge`, the other in proportion (rounded, at least 1). An image that
// fits already keeps its size: nothing is ever enlarged.
Size fitWithin(uint32_t width, uint32_t height, uint32_t maxEdge);

// Every 8-bit plane is scaled on its own as gray samples (YCbCr's chroma
// at its subsampled size, so the format and its subsampling pass
// unchanged), RGB and RGBA a channel at a time: libswscale's gray scaler is
// vectorised and its packed RGB one is not (8 ms a channel against 82 ms
// for a 12-megapixel photo halved). The filter is Lanczos at every factor:
// against libswscale's area averaging it came out closer to ImageMagick's
// Lanczos by 0.3 levels on a phone photo shrunk 4 times, for some 10 ms
// more. An image that fits passes through untouched, and libswscale is
// then never loaded.
class ResizeSink : public BandSink {
public:
    ResizeSink(BandSink& next, uint32_t maxEdge) : next_(next), maxEdge_(maxEdge) {}
    ~ResizeSink() override;
    ResizeSink(const ResizeSink&) = delete;
    ResizeSink& operator=(const ResizeSink&) = delete;

    bool begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error) override;
    bool consume(Band& band, std::string& error) override;
    bool finish(std::string& error) override;

    // Bytes held besides the bands passing through, for an image of this
    // size and bytes per pixel.
    static uint64_t memoryBytes(uint32_t width, uint32_t height, uint32_t maxEdge, int bytesPerPixel);

private:
    // A pass to exactly this size (a later stage of a large reduction).
    ResizeSink(BandSink& next, Size target) : next_(next), target_(target) {}

    bool startPass(Size in, const PixelFormat& format, std::string& error);
    // RGB and RGBA: the band's rows a few at a time, split into channels.
    bool consumeInterleaved(const PlaneView& view, std::string& error);
    // Hands on the result rows that every plane has completed.
    bool passOn(bool last, std::string& error);

    BandSink& next_;
    uint32_t maxEdge_ = 0;
    Size target_;  // the final size, when this sink is a later stage
    bool passThrough_ = false;
    const SwscaleLibrary* library_ = nullptr;
    PixelFormat format_;
    Size in_;
    Size out_;  // this pass's result
    // libswscale's filters stop at 256 taps (Lanczos takes some 6 a unit of
    // reduction); past them it falls back on a cascade of scalers that
    // cannot take slices (libswscale 6 crashes in it). A larger reduction
    // goes through further stages, each by at most this much.
    static constexpr uint32_t kMaxPassFactor = 16;
    std::unique_ptr<ResizeSink> nextStage_;
    BandSink* downstream_ = nullptr;
    struct Plane {
        std::vector<SwsContext*> contexts;  // one a channel
        uint32_t rowsIn = 0;   // source rows fed so far
        uint32_t rowsOut = 0;  // result rows complete
    };
    std::vector<Plane> planes_;
    // Samples a pixel of the one interleaved plane (RGB, RGBA), else 1.
    int channels_ = 1;
    // Interleaved: one channel of a few source rows, and each channel's
    // whole result.
    std::vector<uint8_t> split_;
    size_t splitStride_ = 0;
    std::vector<std::vector<uint8_t>> channelResults_;
    size_t channelStride_ = 0;
    // Planar formats: the whole result. Interleaved: the rows being handed
    // on, put together from the channels.
    Raster result_;
    uint32_t rowsPassed_ = 0;  // result rows handed on
};

}  // namespace photocodec

#endif  // PHOTOCODEC_RESIZE_SINK_H
