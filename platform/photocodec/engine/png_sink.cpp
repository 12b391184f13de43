#include "png_sink.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "color_profile.h"

namespace photocodec {

namespace {

struct PngErrorState {
    char message[256];
};

void onPngError(png_structp png, png_const_charp text)
{
    auto* state = static_cast<PngErrorState*>(png_get_error_ptr(png));
    if (state != nullptr) {
        std::snprintf(state->message, sizeof(state->message), "%s", text != nullptr ? text : "PNG error");
    }
    png_longjmp(png, 1);
}

void onPngWarning(png_structp /*png*/, png_const_charp /*text*/) {}

}  // namespace

// As with libjpeg, each libpng call that may longjmp lives in a function
// that owns nothing with a destructor.
class PngSink::Codec {
public:
    Codec()
    {
        state.message[0] = 0;
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onPngError, onPngWarning);
        if (png != nullptr) {
            info = png_create_info_struct(png);
        }
    }
    ~Codec()
    {
        if (png != nullptr) {
            png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        }
    }

    struct Setup {
        FILE* file;
        uint32_t width;
        uint32_t height;
        int colorType;
        const uint8_t* icc;
        size_t iccSize;
    };

    bool start(const Setup& s)
    {
        if (png == nullptr || info == nullptr) {
            return false;
        }
        if (setjmp(png_jmpbuf(png))) {
            return false;
        }
        png_init_io(png, s.file);
        // A profile libpng disagrees with is dropped with a warning rather
        // than failing the whole photo.
        png_set_benign_errors(png, 1);
        png_set_compression_level(png, kCompressionLevel);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
        png_set_compression_buffer_size(png, 256 * 1024);
        png_set_IHDR(png, info, s.width, s.height, 8, s.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (s.iccSize > 0) {
            png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, s.icc, static_cast<png_uint_32>(s.iccSize));
        }
        png_write_info(png, info);
        return true;
    }

    bool writeRow(const uint8_t* row)
    {
        if (setjmp(png_jmpbuf(png))) {
            return false;
        }
        png_write_row(png, row);
        return true;
    }

    bool finish()
    {
        if (setjmp(png_jmpbuf(png))) {
            return false;
        }
        // With the info struct the chunks written before IDAT would be
        // written a second time.
        png_write_end(png, nullptr);
        return true;
    }

    std::string message() const { return state.message[0] != 0 ? state.message : "the PNG encoder failed"; }

    PngErrorState state;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

PngSink::PngSink(FILE* file, PhotoMetadata metadata)
    : file_(file), metadata_(std::move(metadata)), codec_(std::make_unique<Codec>())
{
}

PngSink::~PngSink() = default;

bool PngSink::begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error)
{
    int colorType = 0;
    switch (format.kind) {
    case PixelKind::Rgb:
        colorType = PNG_COLOR_TYPE_RGB;
        break;
    case PixelKind::Rgba:
        colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        break;
    case PixelKind::Gray:
        colorType = PNG_COLOR_TYPE_GRAY;
        break;
    case PixelKind::GrayAlpha:
        colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
        interleaved_.resize(static_cast<size_t>(width) * 2);
        break;
    default:
        error = "PNG output needs RGB or gray pixels";
        return false;
    }
    format_ = format;
    height_ = height;

    // iCCP must describe the same kind of colour as the pixels.
    const std::string space = iccColorSpace(metadata_.iccProfile);
    const bool gray = format.kind == PixelKind::Gray || format.kind == PixelKind::GrayAlpha;
    if (!metadata_.iccProfile.empty() && space != (gray ? "GRAY" : "RGB ")) {
        metadata_.iccProfile.clear();
    }
    // libpng wants exactly the declared size, without a writer's padding.
    if (!metadata_.iccProfile.empty()) {
        metadata_.iccProfile.resize(iccDeclaredSize(metadata_.iccProfile));
    }

    Codec::Setup setup{file_, width, height, colorType, metadata_.iccProfile.data(), metadata_.iccProfile.size()};
    if (!codec_->start(setup)) {
        error = codec_->message();
        return false;
    }
    return true;
}

bool PngSink::consume(Band& band, std::string& error)
{
    for (uint32_t r = 0; r < band.height; ++r) {
        const uint8_t* row = band.planes[0].row(r);
        if (format_.kind == PixelKind::GrayAlpha) {
            const uint8_t* alpha = band.planes[1].row(r);
            const uint32_t width = band.planes[0].width;
            for (uint32_t x = 0; x < width; ++x) {
                interleaved_[2 * x] = row[x];
                interleaved_[2 * x + 1] = alpha[x];
            }
            row = interleaved_.data();
        }
        if (!codec_->writeRow(row)) {
            error = codec_->message();
            return false;
        }
    }
    rowsWritten_ += band.height;
    return true;
}

bool PngSink::finish(std::string& error)
{
    if (rowsWritten_ != height_) {
        error = "the encoder was given too few rows";
        return false;
    }
    if (!codec_->finish()) {
        error = codec_->message();
        return false;
    }
    return true;
}

}  // namespace photocodec
