#include "pixel_format.h"

#include <new>

namespace photocodec {

int PixelFormat::planeCount() const
{
    switch (kind) {
    case PixelKind::YCbCr:
        return 3;
    case PixelKind::GrayAlpha:
        return 2;
    default:
        return 1;
    }
}

int PixelFormat::bytesPerPixel(int /*plane*/) const
{
    switch (kind) {
    case PixelKind::Rgb:
        return 3;
    case PixelKind::Rgba:
        return 4;
    default:
        return 1;
    }
}

bool Raster::allocate(const PixelFormat& format, uint32_t width, uint32_t height, uint32_t padColumns)
{
    format_ = format;
    width_ = width;
    height_ = height;
    planes_.clear();
    storage_.clear();
    std::vector<size_t> offsets;
    size_t total = 0;
    for (int p = 0; p < format.planeCount(); ++p) {
        PlaneView view;
        view.width = subsampled(width, format.stepX(p));
        view.height = subsampled(height, format.stepY(p));
        size_t rowBytes = (static_cast<size_t>(view.width) + padColumns) * static_cast<size_t>(format.bytesPerPixel(p));
        view.stride = (rowBytes + 63) & ~static_cast<size_t>(63);
        offsets.push_back(total);
        total += view.stride * view.height;
        planes_.push_back(view);
    }
    try {
        storage_.resize(total);
    } catch (const std::bad_alloc&) {
        planes_.clear();
        return false;
    }
    for (size_t p = 0; p < planes_.size(); ++p) {
        planes_[p].data = storage_.data() + offsets[p];
    }
    return true;
}

}  // namespace photocodec
