// How the pixels of a decoded tile, a band and an output are laid out.
#ifndef PHOTOCODEC_PIXEL_FORMAT_H
#define PHOTOCODEC_PIXEL_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace photocodec {

enum class PixelKind {
    YCbCr,      // three planes; Cb and Cr subsampled by (chromaX, chromaY)
    Gray,       // one plane
    GrayAlpha,  // two planes: luma, alpha
    Rgb,        // one plane, three bytes a pixel
    Rgba,       // one plane, four bytes a pixel
};

struct PixelFormat {
    PixelKind kind = PixelKind::Rgb;
    uint8_t chromaX = 1;  // 1 or 2, YCbCr only
    uint8_t chromaY = 1;

    int planeCount() const;
    int bytesPerPixel(int plane) const;
    // Sample grid step of a plane relative to the luma grid.
    int stepX(int plane) const { return kind == PixelKind::YCbCr && plane > 0 ? chromaX : 1; }
    int stepY(int plane) const { return kind == PixelKind::YCbCr && plane > 0 ? chromaY : 1; }
    bool hasAlpha() const { return kind == PixelKind::GrayAlpha || kind == PixelKind::Rgba; }
    bool operator==(const PixelFormat& o) const
    {
        return kind == o.kind && (kind != PixelKind::YCbCr || (chromaX == o.chromaX && chromaY == o.chromaY));
    }
};

// A plane somebody else owns.
struct PlaneView {
    uint8_t* data = nullptr;
    size_t stride = 0;  // bytes from one row to the next
    uint32_t width = 0;  // in samples
    uint32_t height = 0;

    uint8_t* row(uint32_t y) const { return data + static_cast<size_t>(y) * stride; }
};

// Planes of one format, owned. Rows are padded on the right so that block
// encoders may read past the width.
class Raster {
public:
    Raster() = default;
    // False when the memory cannot be had.
    bool allocate(const PixelFormat& format, uint32_t width, uint32_t height, uint32_t padColumns = 0);

    const PixelFormat& format() const { return format_; }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    int planeCount() const { return format_.planeCount(); }
    PlaneView plane(int index) const { return planes_[static_cast<size_t>(index)]; }

private:
    PixelFormat format_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    std::vector<uint8_t> storage_;
    std::vector<PlaneView> planes_;
};

inline uint32_t subsampled(uint32_t size, int step)
{
    return step == 1 ? size : (size + 1) / 2;
}

}  // namespace photocodec

#endif  // PHOTOCODEC_PIXEL_FORMAT_H
