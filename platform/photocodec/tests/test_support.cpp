#include "test_support.h"

#include <dirent.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace testsupport {

namespace {

uint32_t read32(const uint8_t* p, bool be)
{
    return be ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
              : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
}

uint16_t read16(const uint8_t* p, bool be)
{
    return be ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

// Reads what the tests look at in an EXIF block; the blocks come from our
// own output, and every offset is still checked.
void parseExif(const std::vector<uint8_t>& t, JpegInfo& info)
{
    if (t.size() < 8) {
        return;
    }
    bool be = t[0] == 'M';
    auto entries = [&](uint32_t offset, auto&& visit) -> uint32_t {
        if (offset + 2 > t.size()) {
            return 0;
        }
        uint16_t n = read16(&t[offset], be);
        if (offset + 2 + n * 12u + 4 > t.size()) {
            return 0;
        }
        for (uint16_t i = 0; i < n; ++i) {
            const uint8_t* e = &t[offset + 2 + i * 12u];
            visit(read16(e, be), read16(e + 2, be), e + 8);
        }
        return read32(&t[offset + 2 + n * 12u], be);
    };
    uint32_t exifIfd = 0;
    uint32_t next = entries(read32(&t[4], be), [&](uint16_t tag, uint16_t type, const uint8_t* v) {
        if (tag == 0x0112) {
            info.orientation = type == 3 ? read16(v, be) : static_cast<int>(read32(v, be));
        }
        if (tag == 0x8769) {
            exifIfd = read32(v, be);
        }
    });
    info.exifThumbnail = next != 0;
    if (exifIfd != 0) {
        entries(exifIfd, [&](uint16_t tag, uint16_t type, const uint8_t* v) {
            long value = type == 3 ? read16(v, be) : static_cast<long>(read32(v, be));
            if (tag == 0xA002) {
                info.pixelX = value;
            }
            if (tag == 0xA003) {
                info.pixelY = value;
            }
        });
    }
}

struct ReadErrors {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void onError(j_common_ptr c)
{
    longjmp(reinterpret_cast<ReadErrors*>(c->err)->jump, 1);
}

// The test reader keeps only plain data across setjmp.
bool decodeJpeg(jpeg_decompress_struct* c, JpegInfo& info)
{
    jpeg_save_markers(c, JPEG_APP0, 0xFFFF);
    jpeg_save_markers(c, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(c, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(c, TRUE);
    for (jpeg_saved_marker_ptr m = c->marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 && m->data_length >= 5 && std::memcmp(m->data, "JFIF", 5) == 0) {
            info.jfif = true;
        }
        if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
            if (info.exifSegments++ == 0) {
                info.exifTiff.assign(m->data + 6, m->data + m->data_length);
            }
        }
        static const char kXmp[] = "http://ns.adobe.com/xap/1.0/";
        if (m->marker == JPEG_APP0 + 1 && m->data_length > sizeof(kXmp) && std::memcmp(m->data, kXmp, sizeof(kXmp)) == 0) {
            info.xmp.assign(reinterpret_cast<const char*>(m->data) + sizeof(kXmp), m->data_length - sizeof(kXmp));
        }
    }
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(c, &icc, &iccLength)) {
        info.icc.assign(icc, icc + iccLength);
        std::free(icc);
    }
    info.lumaH = c->comp_info[0].h_samp_factor;
    info.lumaV = c->comp_info[0].v_samp_factor;
    jpeg_start_decompress(c);
    info.width = static_cast<int>(c->output_width);
    info.height = static_cast<int>(c->output_height);
    info.components = c->output_components;
    info.pixels.resize(static_cast<size_t>(info.width) * info.height * info.components);
    while (c->output_scanline < c->output_height) {
        JSAMPROW row = info.pixels.data() + static_cast<size_t>(c->output_scanline) * info.width * info.components;
        jpeg_read_scanlines(c, &row, 1);
    }
    jpeg_finish_decompress(c);
    return true;
}

}  // namespace

std::string photo(const std::string& name)
{
    return std::string(PIXBRIDGE_PHOTOS_DIR) + "/" + name;
}

std::u16string u16(const std::string& text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char32_t code = c;
        int extra = 0;
        if (c >= 0xF0) {
            code = c & 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            code = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            code = c & 0x1F;
            extra = 1;
        }
        for (int k = 1; k <= extra && i + k < text.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += 1 + extra;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/photocodec-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Undo what tests did to permissions before removing.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::entries() const
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) {
        names.push_back(e.path().filename().string());
    }
    return names;
}

Rgb JpegInfo::at(int x, int y) const
{
    const uint8_t* p = pixels.data() + (static_cast<size_t>(y) * width + x) * components;
    return components == 1 ? Rgb{p[0], p[0], p[0]} : Rgb{p[0], p[1], p[2]};
}

Rgb JpegInfo::mean(int x0, int y0, int x1, int y1) const
{
    long r = 0, g = 0, b = 0, n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            Rgb c = at(x, y);
            r += c.r;
            g += c.g;
            b += c.b;
            ++n;
        }
    }
    return n == 0 ? Rgb{} : Rgb{static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n)};
}

bool readJpegBytes(const uint8_t* data, size_t size, JpegInfo& info)
{
    info = JpegInfo();
    jpeg_decompress_struct c{};
    ReadErrors errors{};
    c.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onError;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&c);
        return false;
    }
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, data, static_cast<unsigned long>(size));
    bool ok = decodeJpeg(&c, info);
    jpeg_destroy_decompress(&c);
    parseExif(info.exifTiff, info);
    return ok;
}

bool readJpeg(const std::string& path, JpegInfo& info)
{
    std::vector<uint8_t> bytes = readFile(path);
    return !bytes.empty() && readJpegBytes(bytes.data(), bytes.size(), info);
}

bool readPng(const std::string& path, PngInfo& info)
{
    info = PngInfo();
    std::vector<uint8_t> bytes = readFile(path);
    if (bytes.size() < 8) {
        return false;
    }
    // Count the chunks as they stand in the file.
    for (size_t at = 8; at + 12 <= bytes.size();) {
        uint32_t length = read32(&bytes[at], true);
        std::string type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
        info.iccpChunks += type == "iCCP";
        info.idatChunks += type == "IDAT";
        info.iendChunks += type == "IEND";
        info.exif = info.exif || type == "eXIf";
        at += 12 + static_cast<size_t>(length);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        return false;
    }
    info.width = static_cast<int>(image.width);
    info.height = static_cast<int>(image.height);
    info.channels = PNG_IMAGE_SAMPLE_CHANNELS(image.format);
    info.bitDepth = (image.format & PNG_FORMAT_FLAG_LINEAR) != 0 ? 16 : 8;
    image.format = info.channels == 1 ? PNG_FORMAT_GRAY
                 : info.channels == 2 ? PNG_FORMAT_GA
                 : info.channels == 3 ? PNG_FORMAT_RGB
                                      : PNG_FORMAT_RGBA;
    info.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, info.pixels.data(), 0, nullptr)) {
        return false;
    }
    // The simplified API hides iCCP; read it the long way.
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop pngInfo = png_create_info_struct(png);
    struct Source {
        const std::vector<uint8_t>* bytes;
        size_t at;
    } source{&bytes, 0};
    png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
        auto* s = static_cast<Source*>(png_get_io_ptr(p));
        if (n > s->bytes->size() - s->at) {
            png_error(p, "short");
        }
        std::memcpy(out, s->bytes->data() + s->at, n);
        s->at += n;
    });
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_read_info(png, pngInfo);
        png_charp name = nullptr;
        int compression = 0;
        png_bytep profile = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(png, pngInfo, &name, &compression, &profile, &length) != 0) {
            info.icc.assign(profile, profile + length);
        }
        png_textp text = nullptr;
        const int count = png_get_text(png, pngInfo, &text, nullptr);
        for (int i = 0; i < count; ++i) {
            info.text.emplace_back(text[i].key, text[i].text);
        }
    }
    png_destroy_read_struct(&png, &pngInfo, nullptr);
    return true;
}

void writeJpeg(const std::string& path, int width, int height, const PixelFunction& pixel,
               const std::vector<uint8_t>& exifTiff)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    jpeg_compress_struct c{};
    jpeg_error_mgr e{};
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    c.write_JFIF_header = exifTiff.empty() ? TRUE : FALSE;
    jpeg_start_compress(&c, TRUE);
    if (!exifTiff.empty()) {
        std::vector<uint8_t> segment = {'E', 'x', 'i', 'f', 0, 0};
        segment.insert(segment.end(), exifTiff.begin(), exifTiff.end());
        jpeg_write_marker(&c, JPEG_APP0 + 1, segment.data(), static_cast<unsigned int>(segment.size()));
    }
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb p = pixel(x, y);
            row[3 * x] = static_cast<uint8_t>(p.r);
            row[3 * x + 1] = static_cast<uint8_t>(p.g);
            row[3 * x + 2] = static_cast<uint8_t>(p.b);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

void writePng(const std::string& path, int width, int height, const PixelFunction& pixel,
              const std::function<int(int, int)>& alphaAt)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = alphaAt ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const int channels = alphaAt ? 4 : 3;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb p = pixel(x, y);
            uint8_t* o = pixels.data() + (static_cast<size_t>(y) * width + x) * channels;
            o[0] = static_cast<uint8_t>(p.r);
            o[1] = static_cast<uint8_t>(p.g);
            o[2] = static_cast<uint8_t>(p.b);
            if (alphaAt) {
                o[3] = static_cast<uint8_t>(alphaAt(x, y));
            }
        }
    }
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string PngInfo::textOf(const std::string& key) const
{
    for (const auto& [k, v] : text) {
        if (k == key) {
            return v;
        }
    }
    return {};
}

void writePngWithText(const std::string& path, int width, int height, Rgb color,
                      const std::vector<std::pair<std::string, std::string>>& text)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (f == nullptr || setjmp(png_jmpbuf(png))) {
        throw std::runtime_error("cannot write " + path);
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_text> chunks(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
        chunks[i].key = const_cast<char*>(text[i].first.c_str());
        chunks[i].text = const_cast<char*>(text[i].second.c_str());
    }
    png_set_text(png, info, chunks.data(), static_cast<int>(chunks.size()));
    png_write_info(png, info);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[3 * x] = static_cast<uint8_t>(color.r);
        row[3 * x + 1] = static_cast<uint8_t>(color.g);
        row[3 * x + 2] = static_cast<uint8_t>(color.b);
    }
    for (int y = 0; y < height; ++y) {
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

std::vector<uint8_t> makeExif(int orientation, bool bigEndian, uint32_t pixelX, uint32_t pixelY,
                              size_t thumbnailBytes)
{
    std::vector<uint8_t> t;
    auto u16 = [&](uint16_t v) {
        if (bigEndian) {
            t.push_back(static_cast<uint8_t>(v >> 8));
            t.push_back(static_cast<uint8_t>(v));
        } else {
            t.push_back(static_cast<uint8_t>(v));
            t.push_back(static_cast<uint8_t>(v >> 8));
        }
    };
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            int shift = bigEndian ? 24 - 8 * i : 8 * i;
            t.push_back(static_cast<uint8_t>(v >> shift));
        }
    };
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        u16(tag);
        u16(type);
        u32(count);
        if (type == 3 && count == 1) {
            u16(static_cast<uint16_t>(value));
            u16(0);
        } else {
            u32(value);
        }
    };
    // Layout: header 8 | IFD0 (2 entries) at 8 | Exif IFD (2 entries) |
    // IFD1 (2 entries) | thumbnail bytes.
    const uint32_t ifd0 = 8;
    const uint32_t exifIfd = ifd0 + 2 + 2 * 12 + 4;
    const uint32_t ifd1 = exifIfd + 2 + 2 * 12 + 4;
    const uint32_t thumb = ifd1 + 2 + 2 * 12 + 4;
    t.push_back(bigEndian ? 'M' : 'I');
    t.push_back(bigEndian ? 'M' : 'I');
    u16(42);
    u32(ifd0);
    u16(2);
    entry(0x0112, 3, 1, static_cast<uint32_t>(orientation));
    entry(0x8769, 4, 1, exifIfd);
    u32(thumbnailBytes > 0 ? ifd1 : 0);
    u16(2);
    entry(0xA002, 4, 1, pixelX);
    entry(0xA003, 4, 1, pixelY);
    u32(0);
    if (thumbnailBytes > 0) {
        u16(2);
        entry(0x0201, 4, 1, thumb);
        entry(0x0202, 4, 1, static_cast<uint32_t>(thumbnailBytes));
        u32(0);
        t.push_back(0xFF);
        t.push_back(0xD8);
        t.resize(t.size() + thumbnailBytes - 2, 0x55);
    }
    return t;
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int zombieChildren()
{
    int zombies = 0;
    const std::string self = std::to_string(::getpid());
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return 0;
    }
    while (dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') {
            continue;
        }
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        size_t close = line.rfind(')');
        if (close == std::string::npos || close + 4 >= line.size()) {
            continue;
        }
        char state = line[close + 2];
        std::string rest = line.substr(close + 4);
        std::string parent = rest.substr(0, rest.find(' '));
        if (parent == self && state == 'Z') {
            ++zombies;
        }
    }
    ::closedir(proc);
    return zombies;
}

std::string heifEnc()
{
    return HEIF_ENC_PROGRAM;
}

int run(const std::string& command)
{
    return std::system(command.c_str());
}

}  // namespace testsupport

// x265 (used here only to make test files) keeps one global allocation
// until exit; it is not the codec's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}
