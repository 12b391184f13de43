// Helpers for the codec's tests: photo paths, scratch folders, reading the
// outputs back with libjpeg and libpng, and making input files.
#ifndef PHOTOCODEC_TEST_SUPPORT_H
#define PHOTOCODEC_TEST_SUPPORT_H

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

std::string photo(const std::string& name);
std::u16string u16(const std::string& text);

// A fresh folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Every entry, hidden ones included.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};

struct JpegInfo {
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<uint8_t> pixels;  // RGB (or gray), row after row
    bool jfif = false;
    int exifSegments = 0;
    std::vector<uint8_t> exifTiff;  // of the first EXIF segment
    int orientation = -1;           // -1: no tag
    long pixelX = -1;
    long pixelY = -1;
    bool exifThumbnail = false;     // IFD1 linked
    std::string xmp;
    std::vector<uint8_t> icc;
    int lumaH = 0;  // sampling factors of the first component
    int lumaV = 0;
    Rgb at(int x, int y) const;
    // The mean colour of a rectangle.
    Rgb mean(int x0, int y0, int x1, int y1) const;
};

bool readJpeg(const std::string& path, JpegInfo& info);
bool readJpegBytes(const uint8_t* data, size_t size, JpegInfo& info);

struct PngInfo {
    int width = 0;
    int height = 0;
    int channels = 0;  // 1 gray, 2 gray+alpha, 3 RGB, 4 RGBA
    int bitDepth = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> icc;
    int iccpChunks = 0;
    int idatChunks = 0;
    int iendChunks = 0;
    bool exif = false;
    std::vector<std::pair<std::string, std::string>> text;  // the keys before the image data
    std::string textOf(const std::string& key) const;
    const uint8_t* at(int x, int y) const { return pixels.data() + (static_cast<size_t>(y) * width + x) * channels; }
};

bool readPng(const std::string& path, PngInfo& info);

using PixelFunction = std::function<Rgb(int x, int y)>;

// A baseline JPEG, optionally with an EXIF segment holding `exifTiff`.
void writeJpeg(const std::string& path, int width, int height, const PixelFunction& pixel,
               const std::vector<uint8_t>& exifTiff = {});
// An 8-bit PNG; with alpha the pixel function's `r` of alphaAt gives it.
void writePng(const std::string& path, int width, int height, const PixelFunction& pixel,
              const std::function<int(int, int)>& alphaAt = {});
// An 8-bit RGB PNG of one colour with tEXt chunks, as the desktop's
// thumbnailers write them.
void writePngWithText(const std::string& path, int width, int height, Rgb color,
                      const std::vector<std::pair<std::string, std::string>>& text);

// A small EXIF TIFF structure: Orientation in IFD0, an Exif IFD with
// PixelXDimension/PixelYDimension, and optionally an IFD1 thumbnail of
// `thumbnailBytes` bytes at the end.
std::vector<uint8_t> makeExif(int orientation, bool bigEndian, uint32_t pixelX, uint32_t pixelY,
                              size_t thumbnailBytes = 0);

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Child processes of this one that died and were not reaped.
int zombieChildren();

// heif-enc from libheif-examples, empty when it was not found.
std::string heifEnc();
int run(const std::string& command);

}  // namespace testsupport

#endif  // PHOTOCODEC_TEST_SUPPORT_H
