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
        png_set_IHDR(png, info, s.width, s.height, 8, s.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (s.iccSize > 0) {
            png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, s.icc, static_cast<png_uint_32>(s.iccSize));
        }
        png_write_info(png, info);
        return true;
    }

    // The image data goes in as IDAT chunks of our own compression, and
    // IEND follows: libpng writes both with their lengths and CRCs.
    bool writeChunk(const char* type, const uint8_t* data, size_t size)
    {
        if (setjmp(png_jmpbuf(png))) {
            return false;
        }
        png_write_chunk(png, reinterpret_cast<png_const_bytep>(type), data, size);
        return true;
    }

    std::string message() const { return state.message[0] != 0 ? state.message : "the PNG encoder failed"; }

    PngErrorState state;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

PngSink::PngSink(FILE* file, PhotoMetadata metadata, const Options& options)
    : file_(file), metadata_(std::move(metadata)), options_(options), codec_(std::make_unique<Codec>())
{
}

PngSink::~PngSink() = default;

ParallelDeflate::Options PngSink::deflateOptions(const Options& options)
{
    ParallelDeflate::Options d;
    d.level = kCompressionLevel;
    d.threads = options.threads;
    d.stripBytes = options.stripBytes;
    return d;
}

uint64_t PngSink::memoryBytes(const Options& options)
{
    return ParallelDeflate::memoryBytes(deflateOptions(options));
}

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
    const size_t rowBytes = static_cast<size_t>(width) * format.bytesPerPixel(0) * format.planeCount();
    previous_.assign(rowBytes, 0);
    filtered_.resize(rowBytes + 1);
    deflate_ = std::make_unique<ParallelDeflate>(deflateOptions(options_), [this](const uint8_t* data, size_t size) {
        return codec_->writeChunk("IDAT", data, size);
    });
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
        if (!writeRow(row, error)) {
            return false;
        }
    }
    return true;
}

bool PngSink::writeRow(const uint8_t* row, std::string& error)
{
    if (rowsWritten_ == height_) {
        error = "the encoder was given too many rows";
        return false;
    }
    // "Up": each byte less the one above it (none above the first row).
    const size_t n = previous_.size();
    uint8_t* out = filtered_.data() + 1;
    if (rowsWritten_ == 0) {
        filtered_[0] = 0;
        std::memcpy(out, row, n);
    } else {
        filtered_[0] = 2;
        const uint8_t* above = previous_.data();
        for (size_t i = 0; i < n; ++i) {
            out[i] = static_cast<uint8_t>(row[i] - above[i]);
        }
    }
    std::memcpy(previous_.data(), row, n);
    ++rowsWritten_;
    if (!deflate_->write(filtered_.data(), filtered_.size(), error)) {
        // libpng's own word on a failed write says more.
        if (codec_->state.message[0] != 0) {
            error = codec_->message();
        }
        return false;
    }
    return true;
}

bool PngSink::finish(std::string& error)
{
    if (rowsWritten_ != height_ || !deflate_) {
        error = "the encoder was given too few rows";
        return false;
    }
    if (!deflate_->finish(error)) {
        if (codec_->state.message[0] != 0) {
            error = codec_->message();
        }
        return false;
    }
    if (!codec_->writeChunk("IEND", nullptr, 0)) {
        error = codec_->message();
        return false;
    }
    return true;
}

}  // namespace photocodec
