#include "geometry.h"

#include <utility>

namespace photocodec {

namespace {

int64_t floorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// A flip keeps chroma blocks whole when it maps block starts onto block
// ends: the offset is the last sample of a block.
bool blockAligned(int coefficient, int64_t offset, int step)
{
    if (step == 1) {
        return true;
    }
    int64_t rest = ((offset % step) + step) % step;
    return coefficient > 0 ? rest == 0 : rest == step - 1;
}

}  // namespace

bool Geometry::isIdentity() const
{
    return map_.xx == 1 && map_.xy == 0 && map_.x0 == 0 && map_.yx == 0 && map_.yy == 1 && map_.y0 == 0;
}

void Geometry::compose(int a, int b, int64_t c, int d, int e, int64_t f, uint32_t newWidth, uint32_t newHeight)
{
    PixelMap m = map_;
    PixelMap n;
    n.xx = m.xx * a + m.xy * d;
    n.xy = m.xx * b + m.xy * e;
    n.x0 = m.xx * c + m.xy * f + m.x0;
    n.yx = m.yx * a + m.yy * d;
    n.yy = m.yx * b + m.yy * e;
    n.y0 = m.yx * c + m.yy * f + m.y0;
    map_ = n;
    width_ = newWidth;
    height_ = newHeight;
}

bool Geometry::rotateCounterClockwise(int degrees)
{
    const int64_t w = width_;
    const int64_t h = height_;
    switch (((degrees % 360) + 360) % 360) {
    case 0:
        return true;
    case 90:
        compose(0, -1, w - 1, 1, 0, 0, height_, width_);
        return true;
    case 180:
        compose(-1, 0, w - 1, 0, -1, h - 1, width_, height_);
        return true;
    case 270:
        compose(0, 1, 0, -1, 0, h - 1, height_, width_);
        return true;
    default:
        return false;
    }
}

void Geometry::mirrorLeftRight()
{
    compose(-1, 0, static_cast<int64_t>(width_) - 1, 0, 1, 0, width_, height_);
}

void Geometry::mirrorTopBottom()
{
    compose(1, 0, 0, 0, -1, static_cast<int64_t>(height_) - 1, width_, height_);
}

bool Geometry::crop(int64_t left, int64_t top, int64_t right, int64_t bottom)
{
    if (left < 0 || top < 0 || right < 0 || bottom < 0 || left + right >= width_ || top + bottom >= height_) {
        return false;
    }
    compose(1, 0, left, 0, 1, top, static_cast<uint32_t>(width_ - left - right),
            static_cast<uint32_t>(height_ - top - bottom));
    return true;
}

bool Geometry::applyExifOrientation(int orientation)
{
    const int64_t w = width_;
    const int64_t h = height_;
    switch (orientation) {
    case 1:
        return true;
    case 2:
        mirrorLeftRight();
        return true;
    case 3:
        return rotateCounterClockwise(180);
    case 4:
        mirrorTopBottom();
        return true;
    case 5:  // transpose
        compose(0, 1, 0, 1, 0, 0, height_, width_);
        return true;
    case 6:  // turn a quarter clockwise to view
        return rotateCounterClockwise(270);
    case 7:  // transverse
        compose(0, -1, w - 1, -1, 0, h - 1, height_, width_);
        return true;
    case 8:
        return rotateCounterClockwise(90);
    default:
        return false;
    }
}

PixelFormat Geometry::outputFormat(const PixelFormat& source) const
{
    PixelFormat out = source;
    if (source.kind == PixelKind::YCbCr && swapsAxes()) {
        std::swap(out.chromaX, out.chromaY);
    }
    return out;
}

bool Geometry::keepsChromaBlocks(const PixelFormat& source) const
{
    if (source.kind != PixelKind::YCbCr) {
        return true;
    }
    // Source x comes from output x (xx) or output y (xy); either way its
    // offset must fall on a block edge of the source's horizontal step.
    int sx = source.chromaX;
    int sy = source.chromaY;
    bool xOk = blockAligned(map_.xx != 0 ? map_.xx : map_.xy, map_.x0, sx);
    bool yOk = blockAligned(map_.yy != 0 ? map_.yy : map_.yx, map_.y0, sy);
    return xOk && yOk;
}

PixelMap planeMap(const Geometry& geometry, const PixelFormat& source, int plane)
{
    PixelMap m = geometry.map();
    const int ssx = source.stepX(plane);
    const int ssy = source.stepY(plane);
    if (ssx == 1 && ssy == 1) {
        return m;
    }
    // The output plane's steps are the source's, swapped with the axes, so
    // each plane coefficient stays +1, -1 or 0.
    PixelMap p;
    p.xx = m.xx;
    p.xy = m.xy;
    p.yx = m.yx;
    p.yy = m.yy;
    p.x0 = floorDiv(m.x0, ssx);
    p.y0 = floorDiv(m.y0, ssy);
    return p;
}

}  // namespace photocodec
