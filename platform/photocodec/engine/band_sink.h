// The receiving end of the pipeline: the output image, top to bottom, in
// horizontal bands.
#ifndef PHOTOCODEC_BAND_SINK_H
#define PHOTOCODEC_BAND_SINK_H

#include <cstdint>
#include <string>
#include <vector>

#include "pixel_format.h"

namespace photocodec {

struct Band {
    uint32_t top = 0;     // first output row
    uint32_t height = 0;  // luma rows
    // One per plane of the format; a plane's row 0 is its first row inside
    // this band. Rows have room to the right of the width for padding.
    std::vector<PlaneView> planes;
    size_t paddedColumns = 0;  // spare samples at the end of every row
};

class BandSink {
public:
    virtual ~BandSink() = default;
    // Called once, before the first band.
    virtual bool begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error) = 0;
    // Bands arrive in order and cover the image. A sink may write into the
    // band's padding.
    virtual bool consume(Band& band, std::string& error) = 0;
    virtual bool finish(std::string& error) = 0;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_BAND_SINK_H
