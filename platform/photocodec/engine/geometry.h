// The geometric transformations that turn a stored image into what the
// viewer should see (rotation, mirroring, cropping, an EXIF orientation),
// folded into one map from each output pixel to its source pixel.
#ifndef PHOTOCODEC_GEOMETRY_H
#define PHOTOCODEC_GEOMETRY_H

#include <cstdint>

#include "pixel_format.h"

namespace photocodec {

// source x = xx * x + xy * y + x0, source y = yx * x + yy * y + y0, with
// exactly one of xx, xy and one of yx, yy non-zero (each +1 or -1).
struct PixelMap {
    int xx = 1;
    int xy = 0;
    int64_t x0 = 0;
    int yx = 0;
    int yy = 1;
    int64_t y0 = 0;
};

class Geometry {
public:
    Geometry() = default;
    // The identity over a source of this size.
    Geometry(uint32_t width, uint32_t height) : width_(width), height_(height) {}

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    const PixelMap& map() const { return map_; }
    bool isIdentity() const;
    // True when output rows run along source columns.
    bool swapsAxes() const { return map_.xx == 0; }

    // Each step acts on the image as it is after the steps before it.
    bool rotateCounterClockwise(int degrees);
    void mirrorLeftRight();
    void mirrorTopBottom();
    bool crop(int64_t left, int64_t top, int64_t right, int64_t bottom);
    // EXIF orientation 1..8; anything else is refused.
    bool applyExifOrientation(int orientation);

    // The format the output has when the source has `source`: subsampled
    // chroma turns with the image.
    PixelFormat outputFormat(const PixelFormat& source) const;
    // Whether every output chroma sample stands for exactly one source
    // chroma sample (no crop or flip splits a chroma block). When not, the
    // image must be decoded without subsampling.
    bool keepsChromaBlocks(const PixelFormat& source) const;

private:
    // Composes with a map from the new image to the current one.
    void compose(int a, int b, int64_t c, int d, int e, int64_t f, uint32_t newWidth, uint32_t newHeight);

    uint32_t width_ = 0;
    uint32_t height_ = 0;
    PixelMap map_;
};

// The map of one plane: plane sample (qx, qy) of the output to plane sample
// of the source, for a format whose chroma blocks are kept.
PixelMap planeMap(const Geometry& geometry, const PixelFormat& source, int plane);

}  // namespace photocodec

#endif  // PHOTOCODEC_GEOMETRY_H
