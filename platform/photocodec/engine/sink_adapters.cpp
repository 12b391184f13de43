#include "sink_adapters.h"

#include <algorithm>
#include <cmath>

namespace photocodec {

namespace {

inline uint8_t overWhite(uint8_t value, uint8_t alpha, bool premultiplied)
{
    // straight: v*a + 255*(1-a); premultiplied: v + 255*(1-a)
    uint32_t background = 255u * (255u - alpha);
    uint32_t sum = premultiplied ? value * 255u + background : value * uint32_t{alpha} + background;
    return static_cast<uint8_t>(std::min<uint32_t>(255, (sum + 127) / 255));
}

}  // namespace

bool FlattenAlphaSink::begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error)
{
    in_ = format;
    PixelFormat out = format;
    if (format.kind == PixelKind::Rgba) {
        out.kind = PixelKind::Rgb;
    } else if (format.kind == PixelKind::GrayAlpha) {
        out.kind = PixelKind::Gray;
    }
    return next_.begin(width, height, out, error);
}

bool FlattenAlphaSink::consume(Band& band, std::string& error)
{
    if (!in_.hasAlpha()) {
        return next_.consume(band, error);
    }
    PixelFormat outFormat = in_;
    outFormat.kind = in_.kind == PixelKind::Rgba ? PixelKind::Rgb : PixelKind::Gray;
    const uint32_t width = band.planes[0].width;
    if (out_.width() != width || out_.height() < band.height) {
        if (!out_.allocate(outFormat, width, band.height, 32)) {
            error = "not enough memory";
            return false;
        }
    }
    for (uint32_t r = 0; r < band.height; ++r) {
        uint8_t* dst = out_.plane(0).row(r);
        if (in_.kind == PixelKind::Rgba) {
            const uint8_t* src = band.planes[0].row(r);
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t a = src[4 * x + 3];
                dst[3 * x] = overWhite(src[4 * x], a, premultiplied_);
                dst[3 * x + 1] = overWhite(src[4 * x + 1], a, premultiplied_);
                dst[3 * x + 2] = overWhite(src[4 * x + 2], a, premultiplied_);
            }
        } else {
            const uint8_t* luma = band.planes[0].row(r);
            const uint8_t* alpha = band.planes[1].row(r);
            for (uint32_t x = 0; x < width; ++x) {
                dst[x] = overWhite(luma[x], alpha[x], premultiplied_);
            }
        }
    }
    Band flat;
    flat.top = band.top;
    flat.height = band.height;
    flat.paddedColumns = 32;
    PlaneView view = out_.plane(0);
    view.height = band.height;
    flat.planes.push_back(view);
    return next_.consume(flat, error);
}

void PlaneShrinker::start(uint32_t inWidth, uint32_t inHeight, uint32_t outWidth, uint32_t outHeight, int channels,
                          PlaneView out)
{
    inHeight_ = inHeight;
    outHeight_ = outHeight;
    channels_ = channels;
    out_ = out;
    span_ = static_cast<double>(inHeight) / outHeight;
    const double spanX = static_cast<double>(inWidth) / outWidth;
    area_ = static_cast<float>(spanX * span_);
    // A source column split between two output columns counts in both by
    // its share.
    taps_.clear();
    for (uint32_t x = 0; x < inWidth; ++x) {
        double left = x;
        double right = x + 1.0;
        auto first = static_cast<uint32_t>(left / spanX);
        auto last = std::min(outWidth - 1, static_cast<uint32_t>((right - 1e-9) / spanX));
        for (uint32_t t = first; t <= last; ++t) {
            double overlap = std::min(right, (t + 1) * spanX) - std::max(left, t * spanX);
            if (overlap > 0) {
                taps_.push_back({x, t, static_cast<float>(overlap)});
            }
        }
    }
    rowSum_.assign(static_cast<size_t>(outWidth) * channels, 0.f);
    current_.assign(rowSum_.size(), 0.f);
    following_.assign(rowSum_.size(), 0.f);
    currentRow_ = 0;
    sourceRow_ = 0;
}

template <int Channels>
void PlaneShrinker::spreadRow(const uint8_t* row)
{
    float* sums = rowSum_.data();
    for (const Tap& tap : taps_) {
        const uint8_t* px = row + static_cast<size_t>(tap.source) * Channels;
        float* sum = sums + static_cast<size_t>(tap.target) * Channels;
        for (int c = 0; c < Channels; ++c) {
            sum[c] += tap.weight * px[c];
        }
    }
}

void PlaneShrinker::addRow(const uint8_t* row)
{
    if (sourceRow_ >= inHeight_) {
        return;
    }
    std::fill(rowSum_.begin(), rowSum_.end(), 0.f);
    if (channels_ == 3) {
        spreadRow<3>(row);
    } else {
        spreadRow<1>(row);
    }
    const double top = sourceRow_;
    const double bottom = sourceRow_ + 1.0;
    // Shrinking, so one source row reaches at most two output rows: the one
    // being summed and the next.
    for (uint32_t t = currentRow_; t <= currentRow_ + 1 && t < outHeight_; ++t) {
        double overlap = std::min(bottom, (t + 1) * span_) - std::max(top, t * span_);
        if (overlap <= 0) {
            continue;
        }
        std::vector<float>& acc = t == currentRow_ ? current_ : following_;
        const float w = static_cast<float>(overlap);
        for (size_t i = 0; i < rowSum_.size(); ++i) {
            acc[i] += w * rowSum_[i];
        }
    }
    ++sourceRow_;
    if (currentRow_ < outHeight_ && (sourceRow_ >= inHeight_ || sourceRow_ + 1e-9 >= (currentRow_ + 1) * span_)) {
        emitCurrentRow();
    }
}

void PlaneShrinker::emitCurrentRow()
{
    uint8_t* dst = out_.row(currentRow_);
    for (size_t i = 0; i < current_.size(); ++i) {
        float v = current_[i] / area_ + 0.5f;
        dst[i] = static_cast<uint8_t>(v >= 255.f ? 255.f : v);
    }
    current_.swap(following_);
    std::fill(following_.begin(), following_.end(), 0.f);
    ++currentRow_;
}

void PlaneShrinker::finish()
{
    while (currentRow_ < outHeight_) {
        emitCurrentRow();
    }
}

bool DownscaleSink::begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error)
{
    if (format.hasAlpha()) {
        error = "thumbnails are made from opaque pixels";
        return false;
    }
    format_ = format;
    uint32_t longer = std::max(width, height);
    if (longer <= maxSide_) {
        passThrough_ = true;
        return next_.begin(width, height, format, error);
    }
    double scale = static_cast<double>(maxSide_) / longer;
    outWidth_ = std::min(maxSide_, std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(width * scale))));
    outHeight_ = std::min(maxSide_, std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(height * scale))));
    if (!result_.allocate(format, outWidth_, outHeight_, 32)) {
        error = "not enough memory for the thumbnail";
        return false;
    }
    planes_.resize(static_cast<size_t>(format.planeCount()));
    for (int p = 0; p < format.planeCount(); ++p) {
        planes_[static_cast<size_t>(p)].start(subsampled(width, format.stepX(p)), subsampled(height, format.stepY(p)),
                                              subsampled(outWidth_, format.stepX(p)),
                                              subsampled(outHeight_, format.stepY(p)), format.bytesPerPixel(p),
                                              result_.plane(p));
    }
    return true;
}

bool DownscaleSink::consume(Band& band, std::string& error)
{
    if (passThrough_) {
        return next_.consume(band, error);
    }
    for (size_t p = 0; p < band.planes.size() && p < planes_.size(); ++p) {
        const PlaneView& view = band.planes[p];
        for (uint32_t r = 0; r < view.height; ++r) {
            planes_[p].addRow(view.row(r));
        }
    }
    return true;
}

bool DownscaleSink::finish(std::string& error)
{
    if (passThrough_) {
        return next_.finish(error);
    }
    for (PlaneShrinker& plane : planes_) {
        plane.finish();
    }
    if (!next_.begin(outWidth_, outHeight_, format_, error)) {
        return false;
    }
    Band band;
    band.top = 0;
    band.height = outHeight_;
    band.paddedColumns = 32;
    for (int p = 0; p < result_.planeCount(); ++p) {
        band.planes.push_back(result_.plane(p));
    }
    return next_.consume(band, error) && next_.finish(error);
}

}  // namespace photocodec
