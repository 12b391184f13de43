#include "heif_decoding.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "failure_kind.h"

namespace photocodec {

namespace {

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

HeifImagePtr decodeImage(const heif_image_handle* handle, const DecodeRequest& r, bool ignoreTransformations,
                         std::string& error)
{
    heif_colorspace space = heif_colorspace_undefined;
    heif_chroma chroma = heif_chroma_undefined;
    decodingColorspace(r, space, chroma);
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

void decodingColorspace(const DecodeRequest& r, heif_colorspace& space, heif_chroma& chroma)
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
