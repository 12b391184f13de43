#include "heif_fixture.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace testsupport {

namespace {

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct EncoderRelease {
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
struct ImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct HandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct OptionsFree {
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
};

void check(const heif_error& e, const char* what)
{
    if (e.code != heif_error_Ok) {
        throw std::runtime_error(std::string(what) + ": " + (e.message ? e.message : "?"));
    }
}

std::unique_ptr<heif_image, ImageRelease> makeImage(int width, int height, const PixelFunction& pixel,
                                                    const std::function<int(int, int)>& alpha, int x0, int y0)
{
    heif_image* raw = nullptr;
    const bool withAlpha = static_cast<bool>(alpha);
    check(heif_image_create(width, height, heif_colorspace_RGB,
                            withAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &raw),
          "heif_image_create");
    std::unique_ptr<heif_image, ImageRelease> image(raw);
    check(heif_image_add_plane(raw, heif_channel_interleaved, width, height, 8), "heif_image_add_plane");
    int stride = 0;
    uint8_t* data = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
    const int channels = withAlpha ? 4 : 3;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = pixel(x0 + x, y0 + y);
            uint8_t* p = data + static_cast<size_t>(y) * stride + x * channels;
            p[0] = static_cast<uint8_t>(c.r);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.b);
            if (withAlpha) {
                p[3] = static_cast<uint8_t>(alpha(x0 + x, y0 + y));
            }
        }
    }
    return image;
}

// Big-endian box writing for JpegCodedHeif.
class Boxes {
public:
    void u8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v)
    {
        u8(v >> 8);
        u8(v);
    }
    void u32(uint32_t v)
    {
        u16(v >> 16);
        u16(v);
    }
    void type(const char* t) { bytes.insert(bytes.end(), t, t + 4); }
    // Opens a box (a full box with `version`/`flags` when full); close() ends it.
    void open(const char* t, bool full = false, uint32_t versionAndFlags = 0)
    {
        starts.push_back(bytes.size());
        u32(0);
        type(t);
        if (full) {
            u32(versionAndFlags);
        }
    }
    void close()
    {
        const size_t start = starts.back();
        starts.pop_back();
        const uint32_t size = static_cast<uint32_t>(bytes.size() - start);
        for (int i = 0; i < 4; ++i) {
            bytes[start + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (24 - 8 * i));
        }
    }
    void patch32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
        }
    }

    std::vector<uint8_t> bytes;
    std::vector<size_t> starts;
};

std::vector<uint8_t> jpegOf(int width, int height, Rgb color, const std::string& scratch)
{
    writeJpeg(scratch, width, height, [color](int, int) { return color; });
    std::vector<uint8_t> bytes = readFile(scratch);
    std::remove(scratch.c_str());
    return bytes;
}

}  // namespace

void JpegCodedHeif::write(const std::string& path) const
{
    const std::vector<uint8_t> items[2] = {jpegOf(width, height, color, path + ".1.jpg"),
                                           jpegOf(previewWidth, previewHeight, previewColor, path + ".2.jpg")};
    const int sizes[2][2] = {{width, height}, {previewWidth, previewHeight}};
    Boxes b;
    b.open("ftyp");
    b.type("jpeg");
    b.u32(0);
    b.type("mif1");
    b.type("jpeg");
    b.close();
    b.open("meta", true);
    b.open("hdlr", true);
    b.u32(0);
    b.type("pict");
    b.u32(0);
    b.u32(0);
    b.u32(0);
    b.u8(0);
    b.close();
    b.open("pitm", true);
    b.u16(1);
    b.close();
    b.open("iloc", true);
    b.u8(0x44);  // 4-byte offsets and lengths
    b.u8(0x00);  // no base offset
    b.u16(2);
    size_t offsetAt[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        b.u16(static_cast<uint32_t>(i + 1));
        b.u16(0);
        b.u16(1);
        offsetAt[i] = b.bytes.size();
        b.u32(0);
        b.u32(static_cast<uint32_t>(items[i].size()));
    }
    b.close();
    b.open("iinf", true);
    b.u16(2);
    for (int i = 0; i < 2; ++i) {
        b.open("infe", true, 2u << 24);
        b.u16(static_cast<uint32_t>(i + 1));
        b.u16(0);
        b.type("jpeg");
        b.u8(0);
        b.close();
    }
    b.close();
    b.open("iref", true);
    b.open("thmb");
    b.u16(2);
    b.u16(1);
    b.u16(1);
    b.close();
    b.close();
    b.open("iprp");
    b.open("ipco");
    for (const auto& size : sizes) {
        b.open("ispe", true);
        b.u32(static_cast<uint32_t>(size[0]));
        b.u32(static_cast<uint32_t>(size[1]));
        b.close();
    }
    b.close();
    b.open("ipma", true);
    b.u32(2);
    for (uint32_t i = 0; i < 2; ++i) {
        b.u16(i + 1);
        b.u8(1);
        b.u8(i + 1);  // its ispe
    }
    b.close();
    b.close();
    b.close();  // meta
    b.open("mdat");
    for (int i = 0; i < 2; ++i) {
        b.patch32(offsetAt[i], static_cast<uint32_t>(b.bytes.size()));
        b.bytes.insert(b.bytes.end(), items[i].begin(), items[i].end());
    }
    b.close();
    writeFile(path, b.bytes);
}

void HeifFixture::write(const std::string& path) const
{
    std::unique_ptr<heif_context, ContextFree> ctx(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    check(heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder), "no HEVC encoder");
    std::unique_ptr<heif_encoder, EncoderRelease> encoder(rawEncoder);
    heif_encoder_set_lossy_quality(rawEncoder, 92);
    std::unique_ptr<heif_encoding_options, OptionsFree> options(heif_encoding_options_alloc());
    options->image_orientation = orientation;

    heif_image_handle* rawHandle = nullptr;
    if (tileSize > 0) {
        const int columns = (width + tileSize - 1) / tileSize;
        const int rows = (height + tileSize - 1) / tileSize;
        std::vector<std::unique_ptr<heif_image, ImageRelease>> tiles;
        std::vector<heif_image*> pointers;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                tiles.push_back(makeImage(tileSize, tileSize, pixel, alpha, c * tileSize, r * tileSize));
                pointers.push_back(tiles.back().get());
            }
        }
        check(heif_context_encode_grid(ctx.get(), pointers.data(), static_cast<uint16_t>(rows),
                                       static_cast<uint16_t>(columns), rawEncoder, options.get(), &rawHandle),
              "heif_context_encode_grid");
    } else {
        auto image = makeImage(width, height, pixel, alpha, 0, 0);
        if (nclxPrimaries != 0) {
            heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
            nclx->color_primaries = static_cast<heif_color_primaries>(nclxPrimaries);
            nclx->transfer_characteristics = heif_transfer_characteristic_IEC_61966_2_1;
            nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_601_6;
            nclx->full_range_flag = 1;
            heif_error e = heif_image_set_nclx_color_profile(image.get(), nclx);
            heif_nclx_color_profile_free(nclx);
            check(e, "heif_image_set_nclx_color_profile");
        }
        check(heif_context_encode_image(ctx.get(), image.get(), rawEncoder, options.get(), &rawHandle),
              "heif_context_encode_image");
    }
    std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);
    if (!exifTiff.empty()) {
        check(heif_context_add_exif_metadata(ctx.get(), rawHandle, exifTiff.data(), static_cast<int>(exifTiff.size())),
              "heif_context_add_exif_metadata");
    }
    for (const Thumbnail& t : thumbnails) {
        // libheif scales a thumbnail down from a larger picture.
        Rgb color = t.color;
        auto image = makeImage(t.width * 2, t.height * 2, [color](int, int) { return color; }, {}, 0, 0);
        heif_image_handle* rawThumb = nullptr;
        check(heif_context_encode_thumbnail(ctx.get(), image.get(), rawHandle, rawEncoder, options.get(),
                                            std::max(t.width, t.height), &rawThumb),
              "heif_context_encode_thumbnail");
        if (rawThumb != nullptr) {
            heif_image_handle_release(rawThumb);
        }
    }
    check(heif_context_write_to_file(ctx.get(), path.c_str()), "heif_context_write_to_file");
}

}  // namespace testsupport
