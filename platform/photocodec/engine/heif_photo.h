// One HEIF file opened with libheif: its primary image, what the viewer
// should see of it (transformations, EXIF orientation), its colour
// description, metadata and thumbnails, and its grid when it can be decoded
// tile by tile (heif_grid.cpp). Decoding a whole image: heif_decoding.h.
#ifndef PHOTOCODEC_HEIF_PHOTO_H
#define PHOTOCODEC_HEIF_PHOTO_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "color_profile.h"
#include "exif_block.h"
#include "geometry.h"
#include "heif_decoding.h"
#include "heif_handles.h"
#include "image_layout.h"
#include "pixel_format.h"
#include "source_bytes.h"
#include "tile_source.h"

namespace photocodec {

struct ColorDescription {
    std::vector<uint8_t> icc;  // an embedded profile, checked
    bool hasNclx = false;
    int primaries = 2;
    int transfer = 2;
    int matrix = 2;
    bool fullRange = true;
    Chromaticities chromaticities;

    bool isHdr() const { return icc.empty() && hasNclx && (transfer == 16 || transfer == 18); }
};

class HeifPhoto {
public:
    // How much of the file to read: enough to decode it, or only enough to
    // tell its shown size (no grid checks).
    enum class Reading { ToDecode, ShownSizeOnly };
    static std::unique_ptr<HeifPhoto> open(std::shared_ptr<const SourceBytes> file, uint64_t memoryBytes, int threads,
                                           std::string& error, Reading reading = Reading::ToDecode);

    heif_context* context() const { return context_.get(); }
    const heif_image_handle* primary() const { return primary_.get(); }

    // As libheif shows it: after the file's own rotation, mirror and crop.
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    // The EXIF orientation counts only for a file without rotation or
    // mirror of its own: then it is the camera's only word on it.
    bool hasRotationOrMirror() const { return hasRotationOrMirror_; }
    int extraOrientation() const { return hasRotationOrMirror_ ? 1 : exifOrientation_; }
    const ImageLayout& layout() const { return layout_; }
    uint32_t displayWidth() const { return layout_.geometry.width(); }
    uint32_t displayHeight() const { return layout_.geometry.height(); }

    bool hasAlpha() const { return hasAlpha_; }
    bool premultipliedAlpha() const { return premultiplied_; }
    int bitDepth() const { return bitDepth_; }
    bool monochrome() const { return native_.kind == PixelKind::Gray; }
    // YCbCr at the coded subsampling, or gray.
    PixelFormat nativeFormat() const { return native_; }
    bool isHevc() const { return hevc_; }
    const ColorDescription& color() const { return color_; }
    const std::optional<ExifBlock>& exif() const { return exif_; }
    const std::string& xmp() const { return xmp_; }

    // A grid that can be decoded tile by tile: every tile the same size and
    // coding, no alpha, and our geometry agreeing with libheif's size.
    bool tileable() const { return tileable_; }
    // The geometry over the grid's canvas, ending upright.
    const Geometry& gridGeometry() const { return gridGeometry_; }
    std::unique_ptr<TileSource> gridSource(const DecodeRequest& request, std::atomic<bool>& needsRgb) const;

    std::vector<heif_item_id> thumbnailIds() const;

private:
    HeifPhoto() = default;
    void readFacts();
    void readMetadata();
    void checkGrid();

    std::shared_ptr<const SourceBytes> file_;
    HeifContextPtr context_;
    HeifHandlePtr primary_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    bool hasRotationOrMirror_ = false;
    int exifOrientation_ = 1;
    bool hasAlpha_ = false;
    bool premultiplied_ = false;
    int bitDepth_ = 8;
    PixelFormat native_;
    bool hevc_ = true;
    ColorDescription color_;
    std::optional<ExifBlock> exif_;
    std::string xmp_;
    bool tileable_ = false;
    heif_image_tiling tiling_{};
    Geometry gridGeometry_;
    ImageLayout layout_;
};

// Whether a handle's data is coded as HEVC.
bool isHevcItem(heif_context* context, heif_item_id id);

}  // namespace photocodec

#endif  // PHOTOCODEC_HEIF_PHOTO_H
