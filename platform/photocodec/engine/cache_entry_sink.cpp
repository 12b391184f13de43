#include "cache_entry_sink.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>

#include "color_profile.h"

namespace photocodec {

namespace {

uint8_t clampToByte(int value)
{
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// JPEG's YCbCr (BT.601 at full range) to RGB, in 16.16 fixed point.
void ycbcrToRgb(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* rgb)
{
    const int c = static_cast<int>(y) << 16;
    const int u = cb - 128;
    const int v = cr - 128;
    rgb[0] = clampToByte((c + 91881 * v + 32768) >> 16);
    rgb[1] = clampToByte((c - 22554 * u - 46802 * v + 32768) >> 16);
    rgb[2] = clampToByte((c + 116130 * u + 32768) >> 16);
}

void onError(png_structp png, png_const_charp /*text*/) { png_longjmp(png, 1); }
void onWarning(png_structp /*png*/, png_const_charp /*text*/) {}

void appendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp /*png*/) {}

// Owns nothing with a destructor, as libpng may longjmp out of it.
bool encodePng(png_structp png, png_infop info, const Raster& picture, png_textp text, int textCount,
               const std::vector<uint8_t>& icc, std::vector<uint8_t>& out)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_write_fn(png, &out, appendBytes, flushNothing);
    png_set_benign_errors(png, 1);
    // Every thumbnail made writes an entry, so it must cost little beside
    // the decode: zlib's fastest level and the cheap "sub" and "up"
    // filters. On phone photos' 128-pixel entries libpng's defaults (level
    // 6, every filter tried) took longer than the preview's decode; these
    // take a tenth of that, for files about the same size.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB | PNG_FILTER_UP);
    const bool gray = picture.format().kind == PixelKind::Gray;
    png_set_IHDR(png, info, picture.width(), picture.height(), 8, gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!icc.empty()) {
        png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, icc.data(),
                     static_cast<png_uint_32>(icc.size()));
    }
    png_set_text(png, info, text, textCount);
    png_write_info(png, info);
    const PlaneView plane = picture.plane(0);
    for (uint32_t y = 0; y < picture.height(); ++y) {
        png_write_row(png, plane.row(y));
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool CacheEntrySink::begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error)
{
    in_ = format;
    const bool known =
        format.kind == PixelKind::YCbCr || format.kind == PixelKind::Rgb || format.kind == PixelKind::Gray;
    keeping_ = entry_.fd >= 0 && known && std::max(width, height) >= entry_.minimumSide &&
               picture_.allocate(PixelFormat{format.kind == PixelKind::Gray ? PixelKind::Gray : PixelKind::Rgb, 1, 1},
                                 width, height);
    return next_.begin(width, height, format, error);
}

void CacheEntrySink::keepRows(const Band& band)
{
    const PlaneView out = picture_.plane(0);
    for (uint32_t r = 0; r < band.height && band.top + r < picture_.height(); ++r) {
        uint8_t* dst = out.row(band.top + r);
        const uint32_t width = picture_.width();
        if (in_.kind != PixelKind::YCbCr) {
            std::copy_n(band.planes[0].row(r), static_cast<size_t>(width) * in_.bytesPerPixel(0), dst);
            continue;
        }
        const uint8_t* luma = band.planes[0].row(r);
        const uint32_t chromaRow = (band.top + r) / in_.stepY(1) - band.top / in_.stepY(1);
        const uint8_t* cb = band.planes[1].row(chromaRow);
        const uint8_t* cr = band.planes[2].row(chromaRow);
        const int step = in_.stepX(1);
        for (uint32_t x = 0; x < width; ++x) {
            ycbcrToRgb(luma[x], cb[x / step], cr[x / step], dst + 3 * x);
        }
    }
}

bool CacheEntrySink::consume(Band& band, std::string& error)
{
    if (keeping_) {
        keepRows(band);
    }
    return next_.consume(band, error);
}

bool CacheEntrySink::writeEntry() const
{
    std::vector<uint8_t> icc = entry_.iccProfile;
    const bool gray = picture_.format().kind == PixelKind::Gray;
    if (!icc.empty() && iccColorSpace(icc) != (gray ? "GRAY" : "RGB ")) {
        icc.clear();
    }
    if (!icc.empty()) {
        icc.resize(iccDeclaredSize(icc));
    }
    std::vector<png_text> text(entry_.text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = png_text{};
        text[i].compression = PNG_TEXT_COMPRESSION_NONE;
        text[i].key = const_cast<char*>(entry_.text[i].first.c_str());
        text[i].text = const_cast<char*>(entry_.text[i].second.c_str());
        text[i].text_length = entry_.text[i].second.size();
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> bytes;
    const bool encoded = info != nullptr &&
                         encodePng(png, info, picture_, text.data(), static_cast<int>(text.size()), icc, bytes);
    if (png != nullptr) {
        png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    }
    if (!encoded) {
        return false;
    }
    // From the start: an earlier attempt at the photo may have written
    // here before it failed.
    if (::ftruncate(entry_.fd, 0) != 0) {
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(entry_.fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool CacheEntrySink::finish(std::string& error)
{
    if (keeping_) {
        written_ = writeEntry();
    }
    return next_.finish(error);
}

}  // namespace photocodec
