#include "heif_photo.h"

#include <libheif/heif_items.h>
#include <libheif/heif_properties.h>

#include <algorithm>
#include <cstring>

#include "failure_kind.h"

namespace photocodec {

namespace {

constexpr uint32_t kMaxTiles = 1u << 16;

std::string heifMessage(const heif_error& e)
{
    std::string message = e.message != nullptr && *e.message != 0 ? e.message : "libheif error";
    // libheif's words for these vary; ours tell the file's faults from the
    // machine's.
    switch (e.code) {
    case heif_error_Memory_allocation_error:
        return std::string(kShortOfMemory) + " (" + message + ")";
    case heif_error_Unsupported_feature:
    case heif_error_Plugin_loading_error:
        return std::string(kNoDecoder) + " for it (" + message + ")";
    default:
        return message;
    }
}

void request(const DecodeRequest& r, heif_colorspace& space, heif_chroma& chroma)
{
    switch (r.format.kind) {
    case PixelKind::YCbCr:
        space = heif_colorspace_YCbCr;
        chroma = r.format.chromaX == 1 ? heif_chroma_444 : r.format.chromaY == 1 ? heif_chroma_422 : heif_chroma_420;
        break;
    case PixelKind::Gray:
    case PixelKind::GrayAlpha:
        space = heif_colorspace_monochrome;
        chroma = heif_chroma_monochrome;
        break;
    case PixelKind::Rgb:
        space = heif_colorspace_RGB;
        chroma = r.toneMapper != nullptr ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB;
        break;
    case PixelKind::Rgba:
        space = heif_colorspace_RGB;
        chroma = r.toneMapper != nullptr ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RGBA;
        break;
    }
}

HeifOptionsPtr makeOptions(const DecodeRequest& r, bool ignoreTransformations)
{
    HeifOptionsPtr options(heif_decoding_options_alloc());
    if (options) {
        options->ignore_transformations = ignoreTransformations ? 1 : 0;
        options->convert_hdr_to_8bit = r.toneMapper != nullptr ? 0 : 1;
        options->decoder_id = r.decoderId;
    }
    return options;
}

// libjpeg takes YCbCr as BT.601 at full range. Anything else must go
// through libheif's own conversion to RGB.
bool jpegCompatibleYcbcr(const heif_image* image)
{
    heif_color_profile_nclx* raw = nullptr;
    heif_error e = heif_image_get_nclx_color_profile(image, &raw);
    HeifNclxPtr nclx(raw);
    if (e.code != heif_error_Ok || !nclx) {
        return false;
    }
    int m = nclx->matrix_coefficients;
    return nclx->full_range_flag != 0 && (m == 2 || m == 5 || m == 6);
}

// A plane of more than 8 bits, brought down to 8 with rounding.
bool narrowPlane(const uint8_t* data, int stride, uint32_t width, uint32_t height, int bits, Raster& out,
                 int plane)
{
    const uint32_t maxValue = (1u << bits) - 1;
    std::vector<uint8_t> table(maxValue + 1);
    for (uint32_t v = 0; v <= maxValue; ++v) {
        table[v] = static_cast<uint8_t>((v * 255u + maxValue / 2) / maxValue);
    }
    PlaneView to = out.plane(plane);
    if (to.width < width || to.height < height) {
        return false;
    }
    for (uint32_t y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(data + static_cast<size_t>(y) * stride);
        uint8_t* dst = to.row(y);
        for (uint32_t x = 0; x < width; ++x) {
            dst[x] = table[std::min<uint32_t>(row[x], maxValue)];
        }
    }
    return true;
}

// Turns a decoded libheif image into 8-bit planes of the requested format,
// without copying where it is 8-bit already.
bool toPlanes(HeifImagePtr decoded, const DecodeRequest& r, DecodedTile& tile, bool& needsRgb, std::string& error)
{
    std::shared_ptr<heif_image> image(decoded.release(), heif_image_release);
    const heif_image* img = image.get();
    tile.planes.clear();
    // Without strict decoding libheif fills what it could not decode (a
    // missing tile, a broken alpha plane) and only warns: that is no
    // complete photo.
    heif_error warning{};
    if (heif_image_get_decoding_warnings(image.get(), 0, &warning, 1) > 0) {
        error = "the photo is incomplete: " + heifMessage(warning);
        return false;
    }
    std::vector<heif_channel> channels;
    switch (r.format.kind) {
    case PixelKind::YCbCr:
        if (heif_image_get_colorspace(img) != heif_colorspace_YCbCr) {
            error = "the decoder returned another colour space";
            return false;
        }
        if (!jpegCompatibleYcbcr(img)) {
            needsRgb = true;
            error = "the image's YCbCr needs converting";
            return false;
        }
        channels = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
        break;
    case PixelKind::Gray:
        channels = {heif_channel_Y};
        break;
    case PixelKind::GrayAlpha:
        channels = {heif_channel_Y, heif_channel_Alpha};
        break;
    default:
        channels = {heif_channel_interleaved};
        break;
    }

    bool wide = false;
    for (heif_channel c : channels) {
        if (!heif_image_has_channel(img, c)) {
            error = "the decoded image lacks a channel";
            return false;
        }
        if (heif_image_get_bits_per_pixel(img, c) > (c == heif_channel_interleaved ? 32 : 8)) {
            wide = true;
        }
    }

    if (r.toneMapper != nullptr) {
        int stride = 0;
        const uint8_t* data = heif_image_get_plane_readonly(img, heif_channel_interleaved, &stride);
        int width = heif_image_get_width(img, heif_channel_interleaved);
        int height = heif_image_get_height(img, heif_channel_interleaved);
        if (data == nullptr || width <= 0 || height <= 0) {
            error = "the decoded image is empty";
            return false;
        }
        auto out = std::make_shared<Raster>();
        if (!out->allocate(r.format, static_cast<uint32_t>(width), static_cast<uint32_t>(height))) {
            error = "not enough memory";
            return false;
        }
        const int inChannels = r.format.kind == PixelKind::Rgba ? 4 : 3;
        for (int y = 0; y < height; ++y) {
            r.toneMapper->mapRow(reinterpret_cast<const uint16_t*>(data + static_cast<size_t>(y) * stride), inChannels,
                                 static_cast<uint32_t>(width), out->plane(0).row(static_cast<uint32_t>(y)));
        }
        tile.planes.push_back(out->plane(0));
        tile.keepAlive = out;
        return true;
    }

    if (!wide) {
        for (heif_channel c : channels) {
            int stride = 0;
            const uint8_t* data = heif_image_get_plane_readonly(img, c, &stride);
            PlaneView view;
            view.data = const_cast<uint8_t*>(data);
            view.stride = static_cast<size_t>(stride);
            view.width = static_cast<uint32_t>(std::max(0, heif_image_get_width(img, c)));
            view.height = static_cast<uint32_t>(std::max(0, heif_image_get_height(img, c)));
            if (data == nullptr || view.width == 0 || view.height == 0) {
                error = "the decoded image is empty";
                return false;
            }
            tile.planes.push_back(view);
        }
        tile.keepAlive = image;
        return true;
    }

    // More than 8 bits kept (libheif converts depth only along with a
    // colour conversion): narrow each plane ourselves.
    if (channels.front() == heif_channel_interleaved) {
        error = "unexpected high bit depth RGB";
        return false;
    }
    const uint32_t width = static_cast<uint32_t>(std::max(0, heif_image_get_width(img, channels.front())));
    const uint32_t height = static_cast<uint32_t>(std::max(0, heif_image_get_height(img, channels.front())));
    auto out = std::make_shared<Raster>();
    if (width == 0 || height == 0 || !out->allocate(r.format, width, height)) {
        error = "not enough memory";
        return false;
    }
    for (size_t i = 0; i < channels.size(); ++i) {
        int stride = 0;
        const uint8_t* data = heif_image_get_plane_readonly(img, channels[i], &stride);
        int bits = heif_image_get_bits_per_pixel_range(img, channels[i]);
        uint32_t w = static_cast<uint32_t>(std::max(0, heif_image_get_width(img, channels[i])));
        uint32_t h = static_cast<uint32_t>(std::max(0, heif_image_get_height(img, channels[i])));
        PlaneView to = out->plane(static_cast<int>(i));
        w = std::min(w, to.width);
        h = std::min(h, to.height);
        if (data == nullptr) {
            error = "the decoded image is empty";
            return false;
        }
        if (bits <= 8) {
            for (uint32_t y = 0; y < h; ++y) {
                std::memcpy(to.row(y), data + static_cast<size_t>(y) * stride, w);
            }
        } else if (bits > 16 || !narrowPlane(data, stride, w, h, bits, *out, static_cast<int>(i))) {
            error = "unsupported bit depth";
            return false;
        }
        tile.planes.push_back(out->plane(static_cast<int>(i)));
    }
    tile.keepAlive = out;
    return true;
}

class HeifGridSource : public TileSource {
public:
    HeifGridSource(const heif_image_handle* handle, const heif_image_tiling& tiling, const DecodeRequest& request,
                   std::atomic<bool>& needsRgb)
        : handle_(handle), tiling_(tiling), request_(request), options_(makeOptions(request, true)), needsRgb_(needsRgb)
    {
        photocodec::request(request, space_, chroma_);
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

bool closeTo(uint32_t a, uint32_t b)
{
    return (a > b ? a - b : b - a) <= 1;
}

// The item's transformations in their order, each on the image as the ones
// before left it. False for one we do not know.
bool applyTransformations(heif_context* ctx, heif_item_id id, Geometry& g)
{
    int count = heif_item_get_transformation_properties(ctx, id, nullptr, 0);
    std::vector<heif_property_id> properties(static_cast<size_t>(std::max(0, count)));
    count = heif_item_get_transformation_properties(ctx, id, properties.data(), count);
    for (int i = 0; i < count; ++i) {
        heif_property_id p = properties[static_cast<size_t>(i)];
        switch (heif_item_get_property_type(ctx, id, p)) {
        case heif_item_property_type_transform_rotation:
            if (!g.rotateCounterClockwise(heif_item_get_property_transform_rotation_ccw(ctx, id, p))) {
                return false;
            }
            break;
        case heif_item_property_type_transform_mirror: {
            heif_transform_mirror_direction d = heif_item_get_property_transform_mirror(ctx, id, p);
            if (d == heif_transform_mirror_direction_horizontal) {
                g.mirrorLeftRight();
            } else if (d == heif_transform_mirror_direction_vertical) {
                g.mirrorTopBottom();
            } else {
                return false;
            }
            break;
        }
        case heif_item_property_type_transform_crop: {
            int left = 0, top = 0, right = 0, bottom = 0;
            heif_item_get_property_transform_crop_borders(ctx, id, p, static_cast<int>(g.width()),
                                                          static_cast<int>(g.height()), &left, &top, &right, &bottom);
            if (!g.crop(left, top, right, bottom)) {
                return false;
            }
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

}  // namespace

ImageLayout layoutFor(heif_context* context, const heif_image_handle* handle, int extraOrientation)
{
    ImageLayout layout;
    const uint32_t shownW = static_cast<uint32_t>(std::max(0, heif_image_handle_get_width(handle)));
    const uint32_t shownH = static_cast<uint32_t>(std::max(0, heif_image_handle_get_height(handle)));
    const int ispeW = heif_image_handle_get_ispe_width(handle);
    const int ispeH = heif_image_handle_get_ispe_height(handle);
    if (ispeW > 0 && ispeH > 0) {
        Geometry g(static_cast<uint32_t>(ispeW), static_cast<uint32_t>(ispeH));
        // Our reading of the transformations must come out at libheif's
        // size, or libheif's own applies. libheif rounds a crop one way for
        // the size it reports and another way when it decodes: a pixel
        // either way is the same reading.
        if (applyTransformations(context, heif_image_handle_get_item_id(handle), g) && closeTo(g.width(), shownW) &&
            closeTo(g.height(), shownH) && g.applyExifOrientation(extraOrientation)) {
            layout.ownTransformations = true;
            layout.canvasWidth = static_cast<uint32_t>(ispeW);
            layout.canvasHeight = static_cast<uint32_t>(ispeH);
            layout.geometry = g;
            return layout;
        }
    }
    layout.geometry = Geometry(shownW, shownH);
    layout.geometry.applyExifOrientation(extraOrientation);
    return layout;
}

bool isHevcItem(heif_context* context, heif_item_id id)
{
    uint32_t type = heif_item_get_item_type(context, id);
    if (type == heif_fourcc('h', 'v', 'c', '1')) {
        return true;
    }
    if (type != heif_fourcc('g', 'r', 'i', 'd')) {
        return false;
    }
    heif_image_handle* raw = nullptr;
    if (heif_context_get_image_handle(context, id, &raw).code != heif_error_Ok) {
        return false;
    }
    HeifHandlePtr handle(raw);
    heif_item_id tile = 0;
    if (heif_image_handle_get_grid_image_tile_id(handle.get(), 0, 0, 0, &tile).code != heif_error_Ok) {
        return false;
    }
    return heif_item_get_item_type(context, tile) == heif_fourcc('h', 'v', 'c', '1');
}

std::unique_ptr<HeifPhoto> HeifPhoto::open(std::shared_ptr<const SourceBytes> file, uint64_t memoryBytes, int threads,
                                           std::string& error, Reading reading)
{
    std::unique_ptr<HeifPhoto> photo(new HeifPhoto());
    photo->file_ = std::move(file);
    photo->context_.reset(heif_context_alloc());
    if (!photo->context_) {
        error = kShortOfMemory;
        return nullptr;
    }
    // libheif's default limits refuse very large photos (a 200-megapixel
    // one needs blocks of 600 MB); raise them to what this machine can hold
    // and let our own memory check refuse what it cannot.
    if (heif_security_limits* limits = heif_context_get_security_limits(photo->context_.get())) {
        limits->max_memory_block_size = std::max<uint64_t>(limits->max_memory_block_size, memoryBytes / 4 * 3);
        limits->max_image_size_pixels = std::max<uint64_t>(limits->max_image_size_pixels, memoryBytes / 3);
    }
    heif_context_set_max_decoding_threads(photo->context_.get(), std::max(1, threads));
    heif_error e = heif_context_read_from_memory_without_copy(photo->context_.get(), photo->file_->data(),
                                                              photo->file_->size(), nullptr);
    if (e.code != heif_error_Ok) {
        error = "not a readable HEIF file: " + heifMessage(e);
        return nullptr;
    }
    heif_image_handle* primary = nullptr;
    e = heif_context_get_primary_image_handle(photo->context_.get(), &primary);
    photo->primary_.reset(primary);
    if (e.code != heif_error_Ok || !photo->primary_) {
        error = "the file has no primary image: " + heifMessage(e);
        return nullptr;
    }
    photo->readFacts();
    if (photo->width_ == 0 || photo->height_ == 0) {
        error = "the primary image has no size";
        return nullptr;
    }
    photo->readMetadata();
    photo->layout_ = layoutFor(photo->context_.get(), photo->primary_.get(), photo->extraOrientation());
    if (reading == Reading::ToDecode) {
        photo->checkGrid();
    }
    return photo;
}

void HeifPhoto::readFacts()
{
    heif_image_handle* h = primary_.get();
    heif_context* ctx = context_.get();
    const heif_item_id id = heif_image_handle_get_item_id(h);
    width_ = static_cast<uint32_t>(std::max(0, heif_image_handle_get_width(h)));
    height_ = static_cast<uint32_t>(std::max(0, heif_image_handle_get_height(h)));
    hasAlpha_ = heif_image_handle_has_alpha_channel(h) != 0;
    premultiplied_ = heif_image_handle_is_premultiplied_alpha(h) != 0;
    bitDepth_ = std::max(8, heif_image_handle_get_luma_bits_per_pixel(h));
    hevc_ = isHevcItem(ctx, id);

    int count = heif_item_get_transformation_properties(ctx, id, nullptr, 0);
    std::vector<heif_property_id> properties(static_cast<size_t>(std::max(0, count)));
    count = heif_item_get_transformation_properties(ctx, id, properties.data(), count);
    for (int i = 0; i < count; ++i) {
        heif_item_property_type type = heif_item_get_property_type(ctx, id, properties[static_cast<size_t>(i)]);
        if (type == heif_item_property_type_transform_rotation || type == heif_item_property_type_transform_mirror) {
            hasRotationOrMirror_ = true;
        }
    }

    heif_colorspace space = heif_colorspace_undefined;
    heif_chroma chroma = heif_chroma_undefined;
    heif_image_handle_get_preferred_decoding_colorspace(h, &space, &chroma);
    if (space == heif_colorspace_monochrome) {
        native_.kind = PixelKind::Gray;
    } else if (space == heif_colorspace_YCbCr) {
        native_.kind = PixelKind::YCbCr;
        native_.chromaX = chroma == heif_chroma_444 ? 1 : 2;
        native_.chromaY = chroma == heif_chroma_420 ? 2 : 1;
    } else {
        native_.kind = PixelKind::Rgb;
    }

    heif_color_profile_type profile = heif_image_handle_get_color_profile_type(h);
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        size_t size = heif_image_handle_get_raw_color_profile_size(h);
        if (size > 0 && size < (64u << 20)) {
            color_.icc.resize(size);
            if (heif_image_handle_get_raw_color_profile(h, color_.icc.data()).code != heif_error_Ok ||
                !isIccProfile(color_.icc)) {
                color_.icc.clear();
            }
        }
    }
    heif_color_profile_nclx* raw = nullptr;
    if (heif_image_handle_get_nclx_color_profile(h, &raw).code == heif_error_Ok && raw != nullptr) {
        HeifNclxPtr nclx(raw);
        color_.hasNclx = true;
        color_.primaries = nclx->color_primaries;
        color_.transfer = nclx->transfer_characteristics;
        color_.matrix = nclx->matrix_coefficients;
        color_.fullRange = nclx->full_range_flag != 0;
        color_.chromaticities = chromaticitiesFromCode(nclx->color_primaries);
    }
}

void HeifPhoto::readMetadata()
{
    heif_image_handle* h = primary_.get();
    auto blocks = [&](const char* type) {
        int n = heif_image_handle_get_number_of_metadata_blocks(h, type);
        std::vector<heif_item_id> ids(static_cast<size_t>(std::max(0, n)));
        n = heif_image_handle_get_list_of_metadata_block_IDs(h, type, ids.data(), n);
        ids.resize(static_cast<size_t>(std::max(0, n)));
        return ids;
    };
    auto read = [&](heif_item_id id, std::vector<uint8_t>& data) {
        size_t size = heif_image_handle_get_metadata_size(h, id);
        if (size == 0 || size > (16u << 20)) {
            return false;
        }
        data.resize(size);
        return heif_image_handle_get_metadata(h, id, data.data()).code == heif_error_Ok;
    };
    for (heif_item_id id : blocks("Exif")) {
        std::vector<uint8_t> data;
        if (!read(id, data)) {
            continue;
        }
        if (auto tiff = tiffFromHeifExif(data.data(), data.size())) {
            exif_ = ExifBlock::parse(std::move(*tiff));
            if (exif_) {
                exifOrientation_ = exif_->orientation() != 0 ? exif_->orientation() : 1;
                break;
            }
        }
    }
    for (heif_item_id id : blocks("mime")) {
        const char* type = heif_image_handle_get_metadata_content_type(h, id);
        if (type == nullptr || std::strcmp(type, "application/rdf+xml") != 0) {
            continue;
        }
        std::vector<uint8_t> data;
        if (read(id, data)) {
            xmp_.assign(data.begin(), data.end());
            // Some writers end the packet with a zero byte.
            while (!xmp_.empty() && xmp_.back() == '\0') {
                xmp_.pop_back();
            }
            break;
        }
    }
}

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

std::vector<heif_item_id> HeifPhoto::thumbnailIds() const
{
    int n = heif_image_handle_get_number_of_thumbnails(primary_.get());
    std::vector<heif_item_id> ids(static_cast<size_t>(std::max(0, n)));
    n = heif_image_handle_get_list_of_thumbnail_IDs(primary_.get(), ids.data(), n);
    ids.resize(static_cast<size_t>(std::max(0, n)));
    return ids;
}

namespace {

HeifImagePtr decodeImage(const heif_image_handle* handle, const DecodeRequest& r, bool ignoreTransformations,
                         std::string& error)
{
    heif_colorspace space = heif_colorspace_undefined;
    heif_chroma chroma = heif_chroma_undefined;
    request(r, space, chroma);
    HeifOptionsPtr options = makeOptions(r, ignoreTransformations);
    if (!options) {
        error = kShortOfMemory;
        return nullptr;
    }
    heif_image* raw = nullptr;
    heif_error e = heif_decode_image(handle, &raw, space, chroma, options.get());
    HeifImagePtr decoded(raw);
    if (e.code != heif_error_Ok || !decoded) {
        error = heifMessage(e);
        return nullptr;
    }
    return decoded;
}

// The part of the source that a geometry reads.
void sourceExtent(const Geometry& g, int64_t& width, int64_t& height)
{
    const PixelMap& m = g.map();
    width = 0;
    height = 0;
    for (int64_t x : {int64_t{0}, int64_t{g.width()} - 1}) {
        for (int64_t y : {int64_t{0}, int64_t{g.height()} - 1}) {
            width = std::max(width, m.xx * x + m.xy * y + m.x0 + 1);
            height = std::max(height, m.yx * x + m.yy * y + m.y0 + 1);
        }
    }
}

}  // namespace

std::unique_ptr<TileSource> decodeWholeImage(const heif_image_handle* handle, const DecodeRequest& r,
                                             ImageLayout& layout, bool& needsRgb, std::string& error)
{
    HeifImagePtr decoded = decodeImage(handle, r, layout.ownTransformations, error);
    if (!decoded) {
        return nullptr;
    }
    DecodedTile planes;
    if (!toPlanes(std::move(decoded), r, planes, needsRgb, error)) {
        return nullptr;
    }
    if (!layout.ownTransformations) {
        return std::make_unique<WholeImageSource>(std::move(planes), r.format);
    }
    // A coded picture may be larger than the image it holds (HEVC pads to
    // its block size): only the declared size is the image. Some writers
    // code less than they declare and crop the rest away; that is fine as
    // long as what the crop keeps is there.
    int64_t needW = 0;
    int64_t needH = 0;
    sourceExtent(layout.geometry, needW, needH);
    if (planes.planes[0].width >= needW && planes.planes[0].height >= needH) {
        for (size_t p = 0; p < planes.planes.size(); ++p) {
            planes.planes[p].width = std::min(planes.planes[p].width,
                                              subsampled(layout.canvasWidth, r.format.stepX(static_cast<int>(p))));
            planes.planes[p].height = std::min(planes.planes[p].height,
                                               subsampled(layout.canvasHeight, r.format.stepY(static_cast<int>(p))));
        }
        return std::make_unique<WholeImageSource>(std::move(planes), r.format);
    }
    planes = DecodedTile();
    layout.ownTransformations = false;
    decoded = decodeImage(handle, r, false, error);
    if (!decoded || !toPlanes(std::move(decoded), r, planes, needsRgb, error)) {
        return nullptr;
    }
    return std::make_unique<WholeImageSource>(std::move(planes), r.format);
}

}  // namespace photocodec
