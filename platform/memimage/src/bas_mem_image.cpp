#include "memimage/bas_mem_image.h"

#include <QImage>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <png.h>

// Decoded with libjpeg-turbo and libpng directly, never with QImage's
// readers: those are Qt plug-ins, and loading Qt's image-format plug-ins on a
// worker thread of a process without a QGuiApplication leaves teardown work
// that frees an object twice at exit.
namespace {

// Pictures from memory are thumbnails and small resources; anything larger
// is refused before its pixels are allocated.
constexpr uint64_t kMaxPixels = 64ull * 1024 * 1024;

struct JpegErrors {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void OnJpegError(j_common_ptr info) { longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }
void OnJpegMessage(j_common_ptr, int) {}

// Plain data only between setjmp and longjmp: the image is made by the caller
// from the decoder's state once it returns.
bool DecodeJpeg(const uint8_t* bytes, uint32_t length, QImage& out) {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = OnJpegError;
    errors.pub.emit_message = OnJpegMessage;
    // Declared before setjmp, so the clean-up below sees its latest value.
    QImage* volatile image = nullptr;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        delete image;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, length);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&info);  // no thumbnail of ours is CMYK
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || info.output_width == 0 || info.output_height == 0 ||
        static_cast<uint64_t>(info.output_width) * info.output_height > kMaxPixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    image = new QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
    if (image->isNull()) {
        jpeg_destroy_decompress(&info);
        delete image;
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
        if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    }
    const bool complete = info.output_scanline == info.output_height;
    if (complete) jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    if (!complete) {
        delete image;
        return false;
    }
    out = std::move(*image);
    delete image;
    return true;
}

bool DecodePng(const uint8_t* bytes, uint32_t length, QImage& out) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes, length)) return false;
    png.format = PNG_FORMAT_RGBA;
    if (png.width == 0 || png.height == 0 || static_cast<uint64_t>(png.width) * png.height > kMaxPixels) {
        png_image_free(&png);
        return false;
    }
    QImage image(static_cast<int>(png.width), static_cast<int>(png.height), QImage::Format_RGBA8888);
    if (image.isNull()) {
        png_image_free(&png);
        return false;
    }
    if (!png_image_finish_read(&png, nullptr, image.bits(), static_cast<png_int_32>(image.bytesPerLine()), nullptr)) {
        png_image_free(&png);
        return false;
    }
    out = std::move(image);
    return true;
}

}  // namespace

QImage* BASMemImage::mi_from_memory(const uint8_t* bytes, uint32_t length) {
    if (!bytes || length < 8 || length > static_cast<uint32_t>(INT32_MAX)) return nullptr;
    auto image = std::make_unique<QImage>();
    static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const bool decoded = bytes[0] == 0xFF && bytes[1] == 0xD8   ? DecodeJpeg(bytes, length, *image)
                         : memcmp(bytes, kPngSignature, 8) == 0 ? DecodePng(bytes, length, *image)
                                                                : false;
    if (!decoded || image->isNull()) return nullptr;
    return image.release();
}
