#include "heif_photo.h"

#include <libheif/heif_items.h>

#include <algorithm>
#include <string>

#include "failure_kind.h"
#include "heif_decoding.h"

namespace photocodec {

namespace {

constexpr uint32_t kMaxTiles = 1u << 16;

class HeifGridSource : public TileSource {
public:
    HeifGridSource(const heif_image_handle* handle, const heif_image_tiling& tiling, const DecodeRequest& request,
                   std::atomic<bool>& needsRgb)
        : handle_(handle), tiling_(tiling), request_(request), options_(makeOptions(request, true)), needsRgb_(needsRgb)
    {
        decodingColorspace(request, space_, chroma_);
    }

    uint32_t canvasWidth() const override { return tiling_.image_width; }
    uint32_t canvasHeight() const override { return tiling_.image_height; }
    uint32_t columns() const override { return tiling_.num_columns; }
    uint32_t rows() const override { return tiling_.num_rows; }
    uint32_t tileWidth() const override { return tiling_.tile_width; }
    uint32_t tileHeight() const override { return tiling_.tile_height; }
    PixelFormat format() const override { return request_.format; }

    bool decode(uint32_t column, uint32_t row, DecodedTile& tile, std::string& error) override
    {
        if (!options_) {
            error = kShortOfMemory;
            return false;
        }
        heif_image* raw = nullptr;
        heif_error e = heif_image_handle_decode_image_tile(handle_, &raw, space_, chroma_, options_.get(), column, row);
        HeifImagePtr image(raw);
        if (e.code != heif_error_Ok || !image) {
            error = "tile " + std::to_string(column) + "," + std::to_string(row) + ": " + heifMessage(e);
            return false;
        }
        bool needsRgb = false;
        if (!toPlanes(std::move(image), request_, tile, needsRgb, error)) {
            if (needsRgb) {
                needsRgb_ = true;
            }
            return false;
        }
        // A tile that is smaller than the grid says would leave a hole.
        for (size_t p = 0; p < tile.planes.size(); ++p) {
            uint32_t needW = subsampled(tiling_.tile_width, request_.format.stepX(static_cast<int>(p)));
            uint32_t needH = subsampled(tiling_.tile_height, request_.format.stepY(static_cast<int>(p)));
            if (tile.planes[p].width < needW || tile.planes[p].height < needH) {
                error = "a tile is smaller than the grid's tile size";
                return false;
            }
        }
        return true;
    }

private:
    const heif_image_handle* handle_;
    heif_image_tiling tiling_;
    DecodeRequest request_;
    HeifOptionsPtr options_;
    std::atomic<bool>& needsRgb_;
    heif_colorspace space_ = heif_colorspace_undefined;
    heif_chroma chroma_ = heif_chroma_undefined;
};

}  // namespace

void HeifPhoto::checkGrid()
{
    heif_context* ctx = context_.get();
    heif_image_handle* h = primary_.get();
    const heif_item_id id = heif_image_handle_get_item_id(h);
    if (hasAlpha_ || heif_item_get_item_type(ctx, id) != heif_fourcc('g', 'r', 'i', 'd')) {
        return;
    }
    heif_image_tiling tiling{};
    if (heif_image_handle_get_image_tiling(h, 0, &tiling).code != heif_error_Ok || tiling.num_columns == 0 ||
        tiling.num_rows == 0 || tiling.tile_width == 0 || tiling.tile_height == 0 ||
        uint64_t{tiling.num_columns} * tiling.num_rows > kMaxTiles || tiling.image_width == 0 ||
        tiling.image_height == 0 || tiling.number_of_extra_dimensions != 0) {
        return;
    }
    if (native_.kind == PixelKind::YCbCr &&
        (tiling.tile_width % native_.chromaX != 0 || tiling.tile_height % native_.chromaY != 0)) {
        return;
    }
    // Every tile must be what the grid promises: libheif does not check a
    // tile's size when it is decoded on its own.
    uint32_t tileType = 0;
    for (uint32_t ty = 0; ty < tiling.num_rows; ++ty) {
        for (uint32_t tx = 0; tx < tiling.num_columns; ++tx) {
            heif_item_id tileId = 0;
            if (heif_image_handle_get_grid_image_tile_id(h, 0, tx, ty, &tileId).code != heif_error_Ok) {
                return;
            }
            uint32_t type = heif_item_get_item_type(ctx, tileId);
            if (tileType == 0) {
                tileType = type;
            } else if (type != tileType) {
                return;
            }
            heif_image_handle* raw = nullptr;
            if (heif_context_get_image_handle(ctx, tileId, &raw).code != heif_error_Ok) {
                return;
            }
            HeifHandlePtr tile(raw);
            if (heif_image_handle_get_ispe_width(tile.get()) != static_cast<int>(tiling.tile_width) ||
                heif_image_handle_get_ispe_height(tile.get()) != static_cast<int>(tiling.tile_height)) {
                return;
            }
        }
    }

    Geometry g(tiling.image_width, tiling.image_height);
    if (!applyTransformations(ctx, id, g)) {
        return;
    }
    // Our reading of the transformations must come out at libheif's size.
    if (!closeTo(g.width(), width_) || !closeTo(g.height(), height_)) {
        return;
    }
    if (!g.applyExifOrientation(extraOrientation())) {
        return;
    }
    tiling_ = tiling;
    gridGeometry_ = g;
    tileable_ = true;
}

std::unique_ptr<TileSource> HeifPhoto::gridSource(const DecodeRequest& request, std::atomic<bool>& needsRgb) const
{
    if (!tileable_) {
        return nullptr;
    }
    return std::make_unique<HeifGridSource>(primary_.get(), tiling_, request, needsRgb);
}

}  // namespace photocodec
