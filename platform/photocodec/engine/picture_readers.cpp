#include "picture_readers.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include "color_profile.h"
#include "exif_block.h"

namespace photocodec {

namespace {

// ---------------------------------------------------------------- JPEG

struct JpegReadErrors {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int truncations;
};

void onReadError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<JpegReadErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    longjmp(errors->jump, 1);
}

void onReadMessage(j_common_ptr info, int level)
{
    auto* errors = reinterpret_cast<JpegReadErrors*>(info->err);
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        ++errors->truncations;
    }
}

class JpegDecoder {
public:
    JpegDecoder()
    {
        std::memset(&errors, 0, sizeof(errors));
        info.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = onReadError;
        errors.pub.emit_message = onReadMessage;
    }
    ~JpegDecoder()
    {
        if (created) {
            jpeg_destroy_decompress(&info);
        }
        std::free(icc);
    }

    bool readHeader(const uint8_t* data, size_t size)
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        jpeg_create_decompress(&info);
        created = true;
        jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
        return jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
    }

    bool readIcc()
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        unsigned int length = 0;
        if (jpeg_read_icc_profile(&info, &icc, &length)) {
            iccSize = length;
        }
        return true;
    }

    bool start(J_COLOR_SPACE space, unsigned int denominator)
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        info.out_color_space = space;
        info.scale_num = 1;
        info.scale_denom = denominator;
        info.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&info);
        return true;
    }

    bool readRows(JSAMPARRAY rows, JDIMENSION count)
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        JDIMENSION done = 0;
        while (done < count) {
            JDIMENSION n = jpeg_read_scanlines(&info, rows + done, count - done);
            if (n == 0) {
                return false;
            }
            done += n;
        }
        return true;
    }

    bool finish()
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        jpeg_finish_decompress(&info);
        return true;
    }

    std::string message() const { return errors.message[0] != 0 ? errors.message : "the JPEG data is damaged"; }

    jpeg_decompress_struct info{};
    JpegReadErrors errors;
    bool created = false;
    JOCTET* icc = nullptr;
    size_t iccSize = 0;
};

// ---------------------------------------------------------------- PNG

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
    std::vector<uint8_t> icc;
    std::vector<uint8_t> exif;
};

void takeExif(std::vector<uint8_t> tiff, DecodedPicture& picture)
{
    if (auto block = ExifBlock::parse(tiff)) {
        picture.orientation = block->orientation() != 0 ? block->orientation() : 1;
        picture.metadata.exifTiff = std::move(tiff);
    }
}

}  // namespace

bool decodeJpeg(const uint8_t* data, size_t size, uint32_t minSide, uint64_t maxBytes, DecodedPicture& picture,
                std::string& error)
{
    JpegDecoder decoder;
    if (!decoder.readHeader(data, size)) {
        error = decoder.message();
        return false;
    }
    if (!decoder.readIcc()) {
        error = decoder.message();
        return false;
    }
    if (decoder.icc != nullptr && decoder.iccSize > 0) {
        picture.metadata.iccProfile.assign(decoder.icc, decoder.icc + decoder.iccSize);
        if (!isIccProfile(picture.metadata.iccProfile)) {
            picture.metadata.iccProfile.clear();
        }
    }
    static const char kXmpId[] = "http://ns.adobe.com/xap/1.0/";
    for (jpeg_saved_marker_ptr m = decoder.info.marker_list; m != nullptr; m = m->next) {
        if (m->marker != JPEG_APP0 + 1) {
            continue;
        }
        if (auto tiff = tiffFromJpegApp1(m->data, m->data_length)) {
            if (picture.metadata.exifTiff.empty()) {
                takeExif(std::move(*tiff), picture);
            }
        } else if (m->data_length > sizeof(kXmpId) && std::memcmp(m->data, kXmpId, sizeof(kXmpId)) == 0) {
            picture.metadata.xmp.assign(reinterpret_cast<const char*>(m->data) + sizeof(kXmpId),
                                        m->data_length - sizeof(kXmpId));
        }
    }

    const bool cmyk = decoder.info.jpeg_color_space == JCS_CMYK || decoder.info.jpeg_color_space == JCS_YCCK;
    const bool gray = decoder.info.jpeg_color_space == JCS_GRAYSCALE;
    unsigned int denominator = 1;
    if (minSide > 0) {
        uint32_t longer = std::max(decoder.info.image_width, decoder.info.image_height);
        while (denominator < 8 && longer / (denominator * 2) >= minSide) {
            denominator *= 2;
        }
    }
    uint64_t pixels = uint64_t{decoder.info.image_width} * decoder.info.image_height / (denominator * denominator);
    if (pixels * 4 * 2 > maxBytes) {
        error = "not enough memory for a picture of " + std::to_string(decoder.info.image_width) + "x" +
                std::to_string(decoder.info.image_height);
        return false;
    }
    if (!decoder.start(cmyk ? JCS_CMYK : gray ? JCS_GRAYSCALE : JCS_RGB, denominator)) {
        error = decoder.message();
        return false;
    }
    const uint32_t width = decoder.info.output_width;
    const uint32_t height = decoder.info.output_height;
    PixelFormat format;
    format.kind = gray ? PixelKind::Gray : PixelKind::Rgb;
    auto raster = std::make_shared<Raster>();
    if (!raster->allocate(format, width, height, cmyk ? width : 0)) {
        error = "not enough memory for the picture";
        return false;
    }
    std::vector<JSAMPROW> rows(height);
    for (uint32_t y = 0; y < height; ++y) {
        rows[y] = raster->plane(0).row(y);
    }
    if (!decoder.readRows(rows.data(), height) || !decoder.finish()) {
        error = decoder.message();
        return false;
    }
    if (decoder.errors.truncations > 0) {
        error = "the JPEG file is cut short";
        return false;
    }
    if (cmyk) {
        // libjpeg hands Adobe CMYK over inverted; the padding made room for
        // the four bytes a pixel, which shrink to three here.
        const bool inverted = decoder.info.saw_Adobe_marker != 0;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = rows[y];
            for (uint32_t x = 0; x < width; ++x) {
                uint32_t c = row[4 * x], m = row[4 * x + 1], ye = row[4 * x + 2], k = row[4 * x + 3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    ye = 255 - ye;
                    k = 255 - k;
                }
                row[3 * x] = static_cast<uint8_t>(c * k / 255);
                row[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
                row[3 * x + 2] = static_cast<uint8_t>(ye * k / 255);
            }
        }
        picture.metadata.iccProfile.clear();
    }
    picture.raster = std::move(raster);
    return true;
}

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
    if (!decoder.readImage(rows.data())) {
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
