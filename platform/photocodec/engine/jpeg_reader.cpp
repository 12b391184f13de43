#include "picture_readers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "color_profile.h"
#include "exif_block.h"
#include "jpeg_errors.h"

namespace photocodec {

namespace {

// Every libjpeg call that can fail sits alone in a function of its own
// (see jpeg_errors.h).
class JpegDecoder {
public:
    JpegDecoder() { info.err = useJpegErrors(errors); }
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
        return allLines(count,
                        [&](JDIMENSION done) { return jpeg_read_scanlines(&info, rows + done, count - done); });
    }

    bool finish()
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        jpeg_finish_decompress(&info);
        return true;
    }

    std::string message() const { return jpegErrorText(errors, "the JPEG data is damaged"); }

    jpeg_decompress_struct info{};
    JpegErrors errors;
    bool created = false;
    JOCTET* icc = nullptr;
    size_t iccSize = 0;
};

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

}  // namespace photocodec
