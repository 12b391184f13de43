// Where the pipeline gets its pixels: a grid of tiles over a source canvas,
// each decoded on request (possibly from several threads at once).
#ifndef PHOTOCODEC_TILE_SOURCE_H
#define PHOTOCODEC_TILE_SOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixel_format.h"

namespace photocodec {

// One decoded tile in the pipeline's format: planes that stay valid while
// `keepAlive` lives (a libheif image, or our own buffer).
struct DecodedTile {
    std::vector<PlaneView> planes;
    std::shared_ptr<void> keepAlive;
};

class TileSource {
public:
    virtual ~TileSource() = default;

    virtual uint32_t canvasWidth() const = 0;
    virtual uint32_t canvasHeight() const = 0;
    virtual uint32_t columns() const = 0;
    virtual uint32_t rows() const = 0;
    virtual uint32_t tileWidth() const = 0;
    virtual uint32_t tileHeight() const = 0;
    // The format every tile comes in.
    virtual PixelFormat format() const = 0;
    // Thread-safe. A decoded tile covers at least tileWidth x tileHeight
    // (less only where the canvas ends).
    virtual bool decode(uint32_t column, uint32_t row, DecodedTile& tile, std::string& error) = 0;
    // A source with one tile that is already in memory may be handed out in
    // bands of any height.
    virtual bool cheapToRepeat() const { return false; }
};

// A whole image already in memory, as a source of one tile.
class WholeImageSource : public TileSource {
public:
    WholeImageSource(DecodedTile image, const PixelFormat& format);
    // Wraps a raster of our own.
    static std::unique_ptr<WholeImageSource> of(std::shared_ptr<Raster> raster);

    uint32_t canvasWidth() const override { return width_; }
    uint32_t canvasHeight() const override { return height_; }
    uint32_t columns() const override { return 1; }
    uint32_t rows() const override { return 1; }
    uint32_t tileWidth() const override { return width_; }
    uint32_t tileHeight() const override { return height_; }
    PixelFormat format() const override { return format_; }
    bool decode(uint32_t column, uint32_t row, DecodedTile& tile, std::string& error) override;
    bool cheapToRepeat() const override { return true; }

private:
    DecodedTile image_;
    PixelFormat format_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_TILE_SOURCE_H
