#include "resize_sink.h"

#include <algorithm>
#include <new>

#include "swscale_library.h"

namespace photocodec {

namespace {

constexpr uint32_t kPadColumns = 32;
// Result rows are handed on in bands of at least this many (a multiple of
// every encoder's block height), the last band excepted.
constexpr uint32_t kMinBandRows = 64;
// Source rows of an interleaved plane split into channels at a time.
constexpr uint32_t kSplitRows = 64;

size_t rowBytes(uint32_t samples)
{
    return (static_cast<size_t>(samples) + kPadColumns + 63) & ~static_cast<size_t>(63);
}

template <int Channels>
void splitRow(const uint8_t* from, uint8_t* to, uint32_t width, int channel)
{
    for (uint32_t x = 0; x < width; ++x) {
        to[x] = from[static_cast<size_t>(x) * Channels + channel];
    }
}

uint32_t divideUp(uint32_t value, uint32_t by)
{
    return static_cast<uint32_t>((uint64_t{value} + by - 1) / by);
}

}  // namespace

Size fitWithin(uint32_t width, uint32_t height, uint32_t maxEdge)
{
    const uint32_t longer = std::max(width, height);
    if (maxEdge == 0 || longer <= maxEdge) {
        return {width, height};
    }
    auto shorter = [&](uint32_t side) {
        return std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{side} * maxEdge + longer / 2) / longer));
    };
    return width >= height ? Size{maxEdge, shorter(height)} : Size{shorter(width), maxEdge};
}

uint64_t ResizeSink::memoryBytes(uint32_t width, uint32_t height, uint32_t maxEdge, int bytesPerPixel)
{
    const Size out = fitWithin(width, height, maxEdge);
    if (out == Size{width, height}) {
        return 0;
    }
    const auto bpp = static_cast<uint64_t>(bytesPerPixel);
    uint64_t bytes = (uint64_t{out.width} + kPadColumns) * out.height * bpp;
    if (width > out.width * kMaxPassFactor || height > out.height * kMaxPassFactor) {
        bytes += (uint64_t{divideUp(width, kMaxPassFactor)} + kPadColumns) * divideUp(height, kMaxPassFactor) * bpp;
    }
    // libswscale's filters and the rows it keeps for the vertical pass.
    return bytes + (4u << 20);
}

ResizeSink::~ResizeSink()
{
    for (Plane& plane : planes_) {
        for (SwsContext* context : plane.contexts) {
            library_->freeContext(context);
        }
    }
}

bool ResizeSink::begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error)
{
    const Size target = target_.width > 0 ? target_ : fitWithin(width, height, maxEdge_);
    if (target == Size{width, height}) {
        passThrough_ = true;
        return next_.begin(width, height, format, error);
    }
    if (target.width == 0 || target.height == 0 || target.width > width || target.height > height) {
        error = "cannot resize " + std::to_string(width) + "x" + std::to_string(height) + " to " +
                std::to_string(target.width) + "x" + std::to_string(target.height);
        return false;
    }
    downstream_ = &next_;
    out_ = target;
    if (width > target.width * kMaxPassFactor || height > target.height * kMaxPassFactor) {
        out_ = Size{std::max(target.width, divideUp(width, kMaxPassFactor)),
                    std::max(target.height, divideUp(height, kMaxPassFactor))};
        nextStage_.reset(new ResizeSink(next_, target));
        downstream_ = nextStage_.get();
    }
    return startPass(Size{width, height}, format, error) &&
           downstream_->begin(out_.width, out_.height, format, error);
}

bool ResizeSink::startPass(Size in, const PixelFormat& format, std::string& error)
{
    in_ = in;
    format_ = format;
    // Every plane the pipeline makes has 8-bit samples, interleaved only in
    // a format of one plane; anything else (16-bit samples one day) must be
    // taught here first, not guessed at.
    channels_ = format.planeCount() == 1 ? format.bytesPerPixel(0) : 1;
    for (int p = 0; p < format.planeCount(); ++p) {
        const int bytes = format.bytesPerPixel(p);
        if (bytes != channels_ || (bytes != 1 && bytes != 3 && bytes != 4)) {
            error = "cannot resize pixels of " + std::to_string(bytes) + " bytes";
            return false;
        }
    }
    library_ = SwscaleLibrary::get(error);
    if (library_ == nullptr) {
        return false;
    }
    const int gray = library_->pixelFormat("gray");
    planes_.resize(static_cast<size_t>(format.planeCount()));
    for (int p = 0; p < format.planeCount(); ++p) {
        Plane& plane = planes_[static_cast<size_t>(p)];
        for (int c = 0; c < channels_; ++c) {
            SwsContext* context =
                gray < 0 ? nullptr
                         : library_->newContext(static_cast<int>(subsampled(in.width, format.stepX(p))),
                                                static_cast<int>(subsampled(in.height, format.stepY(p))),
                                                static_cast<int>(subsampled(out_.width, format.stepX(p))),
                                                static_cast<int>(subsampled(out_.height, format.stepY(p))), gray);
            if (context == nullptr) {
                error = "libswscale cannot resize " + std::to_string(in.width) + "x" + std::to_string(in.height) +
                        " to " + std::to_string(out_.width) + "x" + std::to_string(out_.height);
                return false;
            }
            plane.contexts.push_back(context);
        }
    }
    if (channels_ == 1) {
        if (!result_.allocate(format, out_.width, out_.height, kPadColumns)) {
            error = "not enough memory for the resized image";
            return false;
        }
        return true;
    }
    splitStride_ = rowBytes(in.width);
    channelStride_ = rowBytes(out_.width);
    try {
        split_.resize(splitStride_ * kSplitRows);
        channelResults_.assign(static_cast<size_t>(channels_), std::vector<uint8_t>(channelStride_ * out_.height));
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the resized image";
        return false;
    }
    return true;
}

bool ResizeSink::consume(Band& band, std::string& error)
{
    if (passThrough_) {
        return next_.consume(band, error);
    }
    if (band.planes.size() != planes_.size()) {
        error = "the band has the wrong planes for resizing";
        return false;
    }
    for (size_t p = 0; p < planes_.size(); ++p) {
        Plane& plane = planes_[p];
        const PlaneView& view = band.planes[p];
        const auto step = static_cast<uint32_t>(format_.stepY(static_cast<int>(p)));
        // libswscale takes a plane's slices in order, each where the last
        // one ended.
        if (band.top % step != 0 || band.top / step != plane.rowsIn ||
            plane.rowsIn + view.height > subsampled(in_.height, static_cast<int>(step))) {
            error = "the bands to resize are out of order";
            return false;
        }
        if (channels_ > 1) {
            return consumeInterleaved(view, error);
        }
        if (view.height == 0) {
            continue;
        }
        const PlaneView to = result_.plane(static_cast<int>(p));
        const int done = library_->scale(plane.contexts[0], view.data, static_cast<int>(view.stride),
                                         static_cast<int>(plane.rowsIn), static_cast<int>(view.height), to.data,
                                         static_cast<int>(to.stride));
        if (done < 0) {
            error = "libswscale failed to resize the image";
            return false;
        }
        plane.rowsIn += view.height;
        plane.rowsOut = std::min(to.height, plane.rowsOut + static_cast<uint32_t>(done));
    }
    return passOn(false, error);
}

bool ResizeSink::consumeInterleaved(const PlaneView& view, std::string& error)
{
    Plane& plane = planes_[0];
    const uint32_t width = in_.width;
    for (uint32_t first = 0; first < view.height; first += kSplitRows) {
        const uint32_t rows = std::min(kSplitRows, view.height - first);
        int done = 0;
        for (int c = 0; c < channels_; ++c) {
            for (uint32_t r = 0; r < rows; ++r) {
                uint8_t* to = split_.data() + r * splitStride_;
                if (channels_ == 3) {
                    splitRow<3>(view.row(first + r), to, width, c);
                } else {
                    splitRow<4>(view.row(first + r), to, width, c);
                }
            }
            const int scaled = library_->scale(plane.contexts[static_cast<size_t>(c)], split_.data(),
                                               static_cast<int>(splitStride_), static_cast<int>(plane.rowsIn),
                                               static_cast<int>(rows), channelResults_[static_cast<size_t>(c)].data(),
                                               static_cast<int>(channelStride_));
            if (scaled < 0 || (c > 0 && scaled != done)) {
                error = "libswscale failed to resize the image";
                return false;
            }
            done = scaled;
        }
        plane.rowsIn += rows;
        plane.rowsOut = std::min(out_.height, plane.rowsOut + static_cast<uint32_t>(done));
        if (!passOn(false, error)) {
            return false;
        }
    }
    return true;
}

bool ResizeSink::passOn(bool last, std::string& error)
{
    uint32_t ready = out_.height;
    for (size_t p = 0; p < planes_.size(); ++p) {
        const auto step = static_cast<uint32_t>(format_.stepY(static_cast<int>(p)));
        ready = std::min<uint32_t>(ready, planes_[p].rowsOut * step);
    }
    if (ready < out_.height) {
        if (last) {
            error = "the resize completed " + std::to_string(ready) + " of " + std::to_string(out_.height) + " rows";
            return false;
        }
        // Whole blocks only, so that every band but the last starts on a
        // chroma row and an encoder block.
        ready -= ready % kMinBandRows;
    }
    if (ready <= rowsPassed_) {
        return true;
    }
    Band band;
    band.top = rowsPassed_;
    band.height = ready - rowsPassed_;
    band.paddedColumns = kPadColumns;
    if (channels_ > 1) {
        // The channels back together, for these rows only.
        if (result_.height() < band.height && !result_.allocate(format_, out_.width, band.height, kPadColumns)) {
            error = "not enough memory for the resized image";
            return false;
        }
        PlaneView view = result_.plane(0);
        for (uint32_t r = 0; r < band.height; ++r) {
            uint8_t* to = view.row(r);
            for (int c = 0; c < channels_; ++c) {
                const uint8_t* from = channelResults_[static_cast<size_t>(c)].data() + (rowsPassed_ + r) * channelStride_;
                for (uint32_t x = 0; x < out_.width; ++x) {
                    to[static_cast<size_t>(x) * static_cast<size_t>(channels_) + static_cast<size_t>(c)] = from[x];
                }
            }
        }
        view.height = band.height;
        band.planes.push_back(view);
        rowsPassed_ = ready;
        return downstream_->consume(band, error);
    }
    for (int p = 0; p < result_.planeCount(); ++p) {
        PlaneView view = result_.plane(p);
        const auto step = static_cast<uint32_t>(format_.stepY(p));
        view.data = view.row(rowsPassed_ / step);
        view.height = subsampled(band.height, static_cast<int>(step));
        band.planes.push_back(view);
    }
    rowsPassed_ = ready;
    return downstream_->consume(band, error);
}

bool ResizeSink::finish(std::string& error)
{
    if (passThrough_) {
        return next_.finish(error);
    }
    for (size_t p = 0; p < planes_.size(); ++p) {
        const uint32_t rows = subsampled(in_.height, format_.stepY(static_cast<int>(p)));
        if (planes_[p].rowsIn != rows) {
            error = "the resize was given " + std::to_string(planes_[p].rowsIn) + " of " + std::to_string(rows) +
                    " rows";
            return false;
        }
    }
    return passOn(true, error) && downstream_->finish(error);
}

}  // namespace photocodec
