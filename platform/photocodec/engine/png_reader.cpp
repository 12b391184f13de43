#include "picture_readers.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <libdeflate.h>
#include <png.h>

#include "color_profile.h"
#include "exif_block.h"

namespace photocodec {

namespace {

struct MemoryInput {
    const uint8_t* data;
    size_t size;
    size_t at;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (length > in->size - in->at) {
        png_error(png, "the PNG file ends early");
    }
    std::memcpy(out, in->data + in->at, length);
    in->at += length;
}

struct PngReadState {
    char message[256];
};

void onPngReadError(png_structp png, png_const_charp text)
{
    auto* state = static_cast<PngReadState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof(state->message), "%s", text != nullptr ? text : "PNG error");
    png_longjmp(png, 1);
}

void onPngReadWarning(png_structp, png_const_charp) {}

class PngDecoder {
public:
    PngDecoder()
    {
        state.message[0] = 0;
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onPngReadError, onPngReadWarning);
        if (png != nullptr) {
            info = png_create_info_struct(png);
        }
    }
    ~PngDecoder()
    {
        if (png != nullptr) {
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        }
    }

    bool readHeader(MemoryInput* input)
    {
        if (png == nullptr || info == nullptr) {
            return false;
        }
        if (setjmp(png_jmpbuf(png))) {
            return false;
        }
        png_set_read_fn(png, input, readFromMemory);
        png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
        png_read_info(png, info);
        const int type = png_get_color_type(png, info);
        plain = png_get_bit_depth(png, info) == 8 && png_get_interlace_type(png, info) == PNG_INTERLACE_NONE &&
                png_get_valid(png, info, PNG_INFO_tRNS) == 0 &&
                (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_RGB || type == PNG_COLOR_TYPE_RGB_ALPHA);
        // Everything to 8 bits: palettes and low bit depths expanded,
        // tRNS to alpha, 16 bits cut down.
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        width = png_get_image_width(png, info);
        height = png_get_image_height(png, info);
        channels = png_get_channels(png, info);
        png_charp name = nullptr;
        int compression = 0;
        png_bytep profile = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(png, info, &name, &compression, &profile, &length) != 0 && profile != nullptr) {
            icc.assign(profile, profile + length);
        }
        png_bytep exifData = nullptr;
        png_uint_32 exifLength = 0;
        if (png_get_eXIf_1(png, info, &exifLength, &exifData) != 0 && exifData != nullptr) {
            exif.assign(exifData, exifData + exifLength);
        }
        return true;
    }

    void readText(std::vector<std::pair<std::string, std::string>>& out) const
    {
        png_textp text = nullptr;
        const int count = png_get_text(png, info, &text, nullptr);
        for (int i = 0; i < count && text != nullptr; ++i) {
            if (text[i].key == nullptr) {
                continue;
            }
            const size_t length = text[i].compression > 0 ? text[i].itxt_length : text[i].text_length;
            out.emplace_back(text[i].key, text[i].text != nullptr ? std::string(text[i].text, length) : std::string());
        }
    }

    bool readImage(png_bytepp rows)
    {
        if (setjmp(png_jmpbuf(png))) {
            return false;
        }
        png_read_image(png, rows);
        png_read_end(png, nullptr);
        return true;
    }

    std::string message() const { return state.message[0] != 0 ? state.message : "the PNG data is damaged"; }

    PngReadState state;
    png_structp png = nullptr;
    png_infop info = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 0;
    // 8 bits of gray, RGB or RGBA, not interlaced, no transparent colour:
    // the rows are stored as we want them.
    bool plain = false;
    std::vector<uint8_t> icc;
    std::vector<uint8_t> exif;
};

uint32_t bigEndian32(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// The Paeth predictor, without branches: the nearest of left, above and
// upper left to left + above - upper left, ties in that order.
inline int paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    const int nearer = pb < pa ? b : a;
    return pc < std::min(pa, pb) ? c : nearer;
}

// A Paeth-filtered row, pixel after pixel: each pixel needs the one to its
// left finished, so only a pixel's channels can be worked on together.
template <size_t Bpp>
void unpaeth(const uint8_t* in, const uint8_t* up, uint8_t* out, size_t rowBytes)
{
    for (size_t i = 0; i < Bpp && i < rowBytes; ++i) {
        out[i] = static_cast<uint8_t>(in[i] + up[i]);
    }
    for (size_t i = Bpp; i < rowBytes; i += Bpp) {
        for (size_t k = 0; k < Bpp; ++k) {
            out[i + k] = static_cast<uint8_t>(in[i + k] + paeth(out[i + k - Bpp], up[i + k], up[i + k - Bpp]));
        }
    }
}

void unpaethRow(size_t bpp, const uint8_t* in, const uint8_t* up, uint8_t* out, size_t rowBytes)
{
    if (bpp == 3) {
        unpaeth<3>(in, up, out, rowBytes);
    } else if (bpp == 4) {
        unpaeth<4>(in, up, out, rowBytes);
    } else {
        unpaeth<1>(in, up, out, rowBytes);
    }
}

// The rows of a plain PNG: its image data inflated in one go with
// libdeflate, then unfiltered here. libpng inflates with zlib a row at a
// time; for the small pictures of the thumbnail cache, read by the hundred,
// this takes less than half as long. False with `fallBack` set when the
// data is larger than the picture needs (libpng sorts that out).
bool readPlainRows(const uint8_t* data, size_t size, uint32_t width, uint32_t height, int channels,
                   const std::vector<png_bytep>& rows, bool& fallBack, std::string& error)
{
    std::vector<uint8_t> packed;
    for (size_t at = 8; at + 12 <= size;) {
        const uint32_t length = bigEndian32(data + at);
        if (length > size - at - 12) {
            break;
        }
        const uint8_t* type = data + at + 4;
        if (std::memcmp(type, "IDAT", 4) == 0) {
            packed.insert(packed.end(), data + at + 8, data + at + 8 + length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            break;
        }
        at += 12 + static_cast<size_t>(length);
    }
    const size_t rowBytes = static_cast<size_t>(width) * channels;
    std::vector<uint8_t> filtered((rowBytes + 1) * height);
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!inflater) {
        error = "not enough memory for the PNG decoder";
        return false;
    }
    size_t inflated = 0;
    const libdeflate_result status = libdeflate_zlib_decompress(inflater.get(), packed.data(), packed.size(),
                                                                filtered.data(), filtered.size(), &inflated);
    if (status == LIBDEFLATE_INSUFFICIENT_SPACE) {
        fallBack = true;
        return false;
    }
    if (status != LIBDEFLATE_SUCCESS || inflated != filtered.size()) {
        error = "the PNG data is damaged or cut short";
        return false;
    }
    const size_t bpp = static_cast<size_t>(channels);
    const std::vector<uint8_t> zeros(rowBytes, 0);  // above the first row
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = filtered.data() + y * (rowBytes + 1) + 1;
        const uint8_t filter = in[-1];
        uint8_t* out = rows[y];
        const uint8_t* up = y > 0 ? rows[y - 1] : zeros.data();
        // The first pixel has nothing to its left.
        switch (filter) {
        case 0:
            std::memcpy(out, in, rowBytes);
            break;
        case 1:
            std::memcpy(out, in, bpp);
            for (size_t i = bpp; i < rowBytes; ++i) {
                out[i] = static_cast<uint8_t>(in[i] + out[i - bpp]);
            }
            break;
        case 2:
            for (size_t i = 0; i < rowBytes; ++i) {
                out[i] = static_cast<uint8_t>(in[i] + up[i]);
            }
            break;
        case 3:
            for (size_t i = 0; i < bpp; ++i) {
                out[i] = static_cast<uint8_t>(in[i] + (up[i] >> 1));
            }
            for (size_t i = bpp; i < rowBytes; ++i) {
                out[i] = static_cast<uint8_t>(in[i] + ((out[i - bpp] + up[i]) >> 1));
            }
            break;
        case 4:
            unpaethRow(bpp, in, up, out, rowBytes);
            break;
        default:
            error = "the PNG data is damaged";
            return false;
        }
    }
    return true;
}

}  // namespace

bool decodePng(const uint8_t* data, size_t size, uint64_t maxBytes, DecodedPicture& picture, std::string& error)
{
    PngDecoder decoder;
    MemoryInput input{data, size, 0};
    if (!decoder.readHeader(&input)) {
        error = decoder.message();
        return false;
    }
    PixelFormat format;
    switch (decoder.channels) {
    case 1:
        format.kind = PixelKind::Gray;
        break;
    case 2:
        format.kind = PixelKind::GrayAlpha;
        break;
    case 3:
        format.kind = PixelKind::Rgb;
        break;
    case 4:
        format.kind = PixelKind::Rgba;
        break;
    default:
        error = "unsupported PNG layout";
        return false;
    }
    uint64_t pixels = uint64_t{decoder.width} * decoder.height;
    if (pixels == 0 || pixels * static_cast<uint64_t>(decoder.channels) * 2 > maxBytes) {
        error = "not enough memory for a picture of " + std::to_string(decoder.width) + "x" +
                std::to_string(decoder.height);
        return false;
    }
    // libpng fills gray+alpha interleaved; read into one buffer and split.
    std::vector<uint8_t> interleaved;
    auto raster = std::make_shared<Raster>();
    if (!raster->allocate(format, decoder.width, decoder.height)) {
        error = "not enough memory for the picture";
        return false;
    }
    std::vector<png_bytep> rows(decoder.height);
    if (format.kind == PixelKind::GrayAlpha) {
        interleaved.resize(static_cast<size_t>(pixels) * 2);
        for (uint32_t y = 0; y < decoder.height; ++y) {
            rows[y] = interleaved.data() + static_cast<size_t>(y) * decoder.width * 2;
        }
    } else {
        for (uint32_t y = 0; y < decoder.height; ++y) {
            rows[y] = raster->plane(0).row(y);
        }
    }
    // Inflated whole, the data takes another copy of the picture: only for
    // small ones.
    constexpr uint64_t kMostPlainBytes = 8u << 20;
    bool read = false;
    if (decoder.plain && pixels * static_cast<uint64_t>(decoder.channels) <= kMostPlainBytes) {
        bool fallBack = false;
        read = readPlainRows(data, size, decoder.width, decoder.height, decoder.channels, rows, fallBack, error);
        if (!read && !fallBack) {
            return false;
        }
    }
    if (!read && !decoder.readImage(rows.data())) {
        error = decoder.message();
        return false;
    }
    if (format.kind == PixelKind::GrayAlpha) {
        for (uint32_t y = 0; y < decoder.height; ++y) {
            uint8_t* luma = raster->plane(0).row(y);
            uint8_t* alpha = raster->plane(1).row(y);
            const uint8_t* src = rows[y];
            for (uint32_t x = 0; x < decoder.width; ++x) {
                luma[x] = src[2 * x];
                alpha[x] = src[2 * x + 1];
            }
        }
    }
    picture.metadata.iccProfile = std::move(decoder.icc);
    if (!isIccProfile(picture.metadata.iccProfile)) {
        picture.metadata.iccProfile.clear();
    }
    if (!decoder.exif.empty()) {
        takeExif(std::move(decoder.exif), picture);
    }
    picture.raster = std::move(raster);
    return true;
}

bool readPngFacts(const uint8_t* data, size_t size, PngFacts& facts, std::string& error)
{
    PngDecoder decoder;
    MemoryInput input{data, size, 0};
    if (!decoder.readHeader(&input)) {
        error = decoder.message();
        return false;
    }
    facts.width = decoder.width;
    facts.height = decoder.height;
    decoder.readText(facts.text);
    return true;
}

}  // namespace photocodec
