// Conversions through the public interface: what a user sees in the files
// the codec writes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libheif/heif.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "codec_fixture.h"
#include "heif_fixture.h"

using testsupport::HeifFixture;
using testsupport::JpegInfo;
using testsupport::PngInfo;
using testsupport::photo;
using testsupport::Rgb;

namespace {

const Rgb kRed{220, 20, 20};
const Rgb kGray{128, 128, 128};
const Rgb kBlue{20, 40, 220};

// A gray picture with a red square in its top-left corner, so every turn
// and flip of it can be told apart.
Rgb markedPixel(int x, int y)
{
    return x < 16 && y < 16 ? kRed : kGray;
}

// Where a stored pixel lands for each EXIF orientation (TIFF 6.0).
void displayPosition(int orientation, int w, int h, int x, int y, int& dx, int& dy)
{
    switch (orientation) {
    case 2: dx = w - 1 - x; dy = y; break;
    case 3: dx = w - 1 - x; dy = h - 1 - y; break;
    case 4: dx = x; dy = h - 1 - y; break;
    case 5: dx = y; dy = x; break;
    case 6: dx = h - 1 - y; dy = x; break;
    case 7: dx = h - 1 - y; dy = w - 1 - x; break;
    case 8: dx = y; dy = w - 1 - x; break;
    default: dx = x; dy = y; break;
    }
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != b.size() || a.empty()) {
        return 0;
    }
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    double mse = sum / a.size();
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// libheif's own reading of a photo, transformations applied.
std::vector<uint8_t> libheifRgb(const std::string& path, int& width, int& height)
{
    heif_context* ctx = heif_context_alloc();
    std::vector<uint8_t> out;
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif_context_read_from_file(ctx, path.c_str(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(ctx, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code ==
            heif_error_Ok) {
        int stride = 0;
        const uint8_t* data = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        width = heif_image_get_width(image, heif_channel_interleaved);
        height = heif_image_get_height(image, heif_channel_interleaved);
        for (int y = 0; y < height; ++y) {
            out.insert(out.end(), data + static_cast<size_t>(y) * stride, data + static_cast<size_t>(y) * stride + width * 3);
        }
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(ctx);
    return out;
}

}  // namespace

TEST_F(CodecTest, PortraitPhotoComesOutUprightWithItsMetadataMadeTrue)
{
    const std::string out = dir_.file("IMG.JPG");
    ASSERT_TRUE(toJpeg(photo("tifig_1_portrait.heic"), out, 90, true));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
    EXPECT_EQ(jpeg.width, 3024);
    EXPECT_EQ(jpeg.height, 4032);
    // The pixels are turned already: a copied orientation 8 would turn the
    // photo again in every viewer.
    EXPECT_EQ(jpeg.exifSegments, 1);
    EXPECT_EQ(jpeg.orientation, 1);
    EXPECT_EQ(jpeg.pixelX, 3024);
    EXPECT_EQ(jpeg.pixelY, 4032);
    EXPECT_EQ(jpeg.icc.size(), 548u);
    EXPECT_FALSE(jpeg.jfif);

    int w = 0, h = 0;
    std::vector<uint8_t> reference = libheifRgb(photo("tifig_1_portrait.heic"), w, h);
    ASSERT_EQ(w, 3024);
    ASSERT_EQ(h, 4032);
    EXPECT_GT(psnr(jpeg.pixels, reference), 38.0);
}

TEST_F(CodecTest, WithoutKeepExifNoExifOrXmpButTheColourProfileStays)
{
    const std::string out = dir_.file("a.JPG");
    ASSERT_TRUE(toJpeg(photo("immich_samsung-one-ui-6.heic"), out, 85, false));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
    EXPECT_EQ(jpeg.exifSegments, 0);
    EXPECT_TRUE(jpeg.xmp.empty());
    EXPECT_EQ(jpeg.width, 3000);
    EXPECT_EQ(jpeg.height, 4000);

    const std::string tagged = dir_.file("b.JPG");
    ASSERT_TRUE(toJpeg(photo("tifig_3_frontcam.heic"), tagged, 85, false));
    ASSERT_TRUE(testsupport::readJpeg(tagged, jpeg));
    EXPECT_EQ(jpeg.exifSegments, 0);
    EXPECT_EQ(jpeg.icc.size(), 548u);
    EXPECT_EQ(jpeg.width, 2320);
    EXPECT_EQ(jpeg.height, 3088);
}

TEST_F(CodecTest, XmpIsCarriedWithItsOrientationReset)
{
    const std::string out = dir_.file("x.JPG");
    ASSERT_TRUE(toJpeg(photo("immich_samsung-one-ui-6.heic"), out, 85, true));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
    ASSERT_FALSE(jpeg.xmp.empty());
    EXPECT_EQ(jpeg.orientation, 1);
    size_t tag = jpeg.xmp.find("tiff:Orientation");
    if (tag != std::string::npos) {
        std::string around = jpeg.xmp.substr(tag, 24);
        EXPECT_NE(around.find('1'), std::string::npos) << around;
        EXPECT_EQ(around.find('6'), std::string::npos) << around;
    }
}

// The camera's word on orientation, as a file without irot carries it, is
// applied to the pixels whatever the EXIF setting.
class ExifOrientationTest : public CodecTest, public ::testing::WithParamInterface<int> {};

TEST_P(ExifOrientationTest, PhotoWithoutHeifRotationTurnsAsItsExifSays)
{
    const int orientation = GetParam();
    HeifFixture fixture;
    fixture.pixel = markedPixel;
    fixture.exifTiff = testsupport::makeExif(orientation, orientation % 2 == 0, 64, 48);
    const std::string source = dir_.file("exif.heic");
    fixture.write(source);

    for (bool keepExif : {true, false}) {
        const std::string out = dir_.file(keepExif ? "keep.JPG" : "drop.JPG");
        ASSERT_TRUE(toJpeg(source, out, 95, keepExif));
        JpegInfo jpeg;
        ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
        const bool swapped = orientation >= 5;
        ASSERT_EQ(jpeg.width, swapped ? 48 : 64);
        ASSERT_EQ(jpeg.height, swapped ? 64 : 48);
        int mx = 0, my = 0, fx = 0, fy = 0;
        displayPosition(orientation, 64, 48, 7, 7, mx, my);
        displayPosition(orientation, 64, 48, 56, 40, fx, fy);
        EXPECT_TRUE(near(jpeg.mean(mx - 2, my - 2, mx + 3, my + 3), kRed, 40)) << "orientation " << orientation;
        EXPECT_TRUE(near(jpeg.mean(fx - 2, fy - 2, fx + 3, fy + 3), kGray, 20)) << "orientation " << orientation;
        if (keepExif) {
            EXPECT_EQ(jpeg.orientation, 1);
            EXPECT_EQ(jpeg.pixelX, jpeg.width);
            EXPECT_EQ(jpeg.pixelY, jpeg.height);
        } else {
            EXPECT_EQ(jpeg.exifSegments, 0);
        }
    }
}

// The same turns written as irot/imir (with the EXIF saying the same, as
// phones do): turned once, not twice.
TEST_P(ExifOrientationTest, HeifRotationAndMirrorTurnOnceAlsoInPng)
{
    const int orientation = GetParam();
    HeifFixture fixture;
    fixture.pixel = markedPixel;
    fixture.orientation = static_cast<heif_orientation>(orientation);
    fixture.exifTiff = testsupport::makeExif(orientation, false, 64, 48);
    const std::string source = dir_.file("irot.heic");
    fixture.write(source);

    const std::string out = dir_.file("irot.PNG");
    ASSERT_TRUE(toPng(source, out));
    PngInfo png;
    ASSERT_TRUE(testsupport::readPng(out, png));
    const bool swapped = orientation >= 5;
    ASSERT_EQ(png.width, swapped ? 48 : 64);
    ASSERT_EQ(png.height, swapped ? 64 : 48);
    int mx = 0, my = 0;
    displayPosition(orientation, 64, 48, 7, 7, mx, my);
    const uint8_t* p = png.at(mx, my);
    EXPECT_TRUE(near(Rgb{p[0], p[1], p[2]}, kRed, 40)) << "orientation " << orientation;
    EXPECT_FALSE(png.exif);
}

INSTANTIATE_TEST_SUITE_P(AllOrientations, ExifOrientationTest, ::testing::Range(1, 9));

TEST_F(CodecTest, RealPhotoWithExifOrientationOnlyStandsUpright)
{
    const std::string out = dir_.file("s.JPG");
    ASSERT_TRUE(toJpeg(photo("mde_Issue_437_dotnet.heic"), out, 80, true));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
    EXPECT_EQ(jpeg.width, 1848);
    EXPECT_EQ(jpeg.height, 4000);
    EXPECT_EQ(jpeg.orientation, 1);

    // libheif leaves it lying; ours is that picture turned a quarter
    // clockwise.
    int w = 0, h = 0;
    std::vector<uint8_t> lying = libheifRgb(photo("mde_Issue_437_dotnet.heic"), w, h);
    ASSERT_EQ(w, 4000);
    ASSERT_EQ(h, 1848);
    std::vector<uint8_t> turned(lying.size());
    for (int y = 0; y < 4000; ++y) {
        for (int x = 0; x < 1848; ++x) {
            std::memcpy(&turned[(static_cast<size_t>(y) * 1848 + x) * 3],
                        &lying[(static_cast<size_t>(1847 - x) * 4000 + y) * 3], 3);
        }
    }
    EXPECT_GT(psnr(jpeg.pixels, turned), 35.0);
}

TEST_F(CodecTest, HeifEncFixtureWithExifAndThumbnailConverts)
{
    if (testsupport::heifEnc().empty()) {
        GTEST_SKIP() << "heif-enc not installed";
    }
    const std::string jpegIn = dir_.file("in.jpg");
    testsupport::writeJpeg(jpegIn, 640, 480, markedPixel, testsupport::makeExif(6, true, 640, 480));
    const std::string source = dir_.file("made.heic");
    ASSERT_EQ(testsupport::run("'" + testsupport::heifEnc() + "' -q 90 -t 160 -o '" + source + "' '" + jpegIn +
                               "' > /dev/null 2>&1"),
              0);
    const std::string out = dir_.file("made.JPG");
    ASSERT_TRUE(toJpeg(source, out, 90, true));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
    ASSERT_EQ(jpeg.width, 480);
    ASSERT_EQ(jpeg.height, 640);
    EXPECT_EQ(jpeg.orientation, 1);
    EXPECT_TRUE(near(jpeg.mean(470, 2, 478, 12), kRed, 40));

    Thumbnail t = thumbnail(source, 100);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.width, 480);
    EXPECT_EQ(t.height, 640);
    EXPECT_EQ(t.jpeg.width, 75);
    EXPECT_EQ(t.jpeg.height, 100);
}

TEST_F(CodecTest, PngKeepsTheColourProfileOnceAndWritesEachChunkOnce)
{
    const std::string out = dir_.file("p.PNG");
    ASSERT_TRUE(toPng(photo("tifig_2_landscape.heic"), out));
    PngInfo png;
    ASSERT_TRUE(testsupport::readPng(out, png));
    EXPECT_EQ(png.width, 4032);
    EXPECT_EQ(png.height, 3024);
    EXPECT_EQ(png.channels, 3);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.icc.size(), 548u);
    EXPECT_EQ(png.iccpChunks, 1);
    EXPECT_EQ(png.iendChunks, 1);
    EXPECT_FALSE(png.exif);
}

TEST_F(CodecTest, AlphaStaysInPngAndGoesOnWhiteInJpeg)
{
    HeifFixture fixture;
    fixture.pixel = [](int, int) { return kBlue; };
    fixture.alpha = [](int x, int) { return x < 32 ? 0 : 255; };
    const std::string source = dir_.file("alpha.heic");
    fixture.write(source);

    const std::string png = dir_.file("alpha.PNG");
    ASSERT_TRUE(toPng(source, png));
    PngInfo p;
    ASSERT_TRUE(testsupport::readPng(png, p));
    ASSERT_EQ(p.channels, 4);
    EXPECT_LT(p.at(8, 24)[3], 10);
    EXPECT_GT(p.at(56, 24)[3], 245);

    const std::string jpg = dir_.file("alpha.JPG");
    ASSERT_TRUE(toJpeg(source, jpg, 95, false));
    JpegInfo j;
    ASSERT_TRUE(testsupport::readJpeg(jpg, j));
    EXPECT_TRUE(near(j.mean(4, 4, 24, 44), Rgb{255, 255, 255}, 8));
    EXPECT_TRUE(near(j.mean(40, 4, 60, 44), kBlue, 25));

    // A real one: 12-bit, alpha, in a grid.
    const std::string deep = dir_.file("deep.PNG");
    ASSERT_TRUE(toPng(photo("ph_RGBA_12__29x100.heif"), deep));
    ASSERT_TRUE(testsupport::readPng(deep, p));
    EXPECT_EQ(p.width, 29);
    EXPECT_EQ(p.height, 100);
    EXPECT_EQ(p.channels, 4);
    EXPECT_EQ(p.bitDepth, 8);
}

TEST_F(CodecTest, TenAndTwelveBitPhotosConvertToEightBit)
{
    // FFmpeg's decoder refuses this 10-bit 4:2:2 camera file; libde265
    // reads it.
    const std::string cat = dir_.file("cat.JPG");
    ASSERT_TRUE(toJpeg(photo("ph_cat.hif"), cat, 90, true));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(cat, jpeg));
    EXPECT_EQ(jpeg.width, 4240);
    EXPECT_EQ(jpeg.height, 2832);
    // Kept at the camera's 4:2:2.
    EXPECT_EQ(jpeg.lumaH, 2);
    EXPECT_EQ(jpeg.lumaV, 1);
    EXPECT_GT(jpeg.mean(0, 0, 4240, 2832).g, 20);

    const std::string gray = dir_.file("gray.JPG");
    ASSERT_TRUE(toJpeg(photo("ph_L_12__29x100.heif"), gray, 90, false));
    ASSERT_TRUE(testsupport::readJpeg(gray, jpeg));
    EXPECT_EQ(jpeg.components, 1);
    EXPECT_EQ(jpeg.width, 29);
    EXPECT_EQ(jpeg.height, 100);
    ASSERT_GT(std::filesystem::file_size(gray), 100u);
}

TEST_F(CodecTest, HdrPhotoIsToneMappedAndTaggedDisplayP3)
{
    const std::string out = dir_.file("hdr.JPG");
    ASSERT_TRUE(toJpeg(photo("sdw_TestHDR.heic"), out, 90, false));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
    EXPECT_EQ(jpeg.width, 600);
    ASSERT_FALSE(jpeg.icc.empty());
    std::string description(jpeg.icc.begin(), jpeg.icc.end());
    // UTF-16 in the profile's description tag.
    EXPECT_NE(description.find(std::string("D\0i\0s\0p\0l\0a\0y\0 \0P\0003", 19)), std::string::npos);
    // PQ code values shown as if they were sRGB look grey and flat: the
    // mapped picture reaches white and keeps its dark tones.
    int brightest = 0, darkest = 255;
    for (int y = 0; y < jpeg.height; y += 4) {
        for (int x = 0; x < jpeg.width; x += 4) {
            Rgb c = jpeg.at(x, y);
            int v = (c.r + c.g + c.b) / 3;
            brightest = std::max(brightest, v);
            darkest = std::min(darkest, v);
        }
    }
    EXPECT_GT(brightest, 240);
    EXPECT_LT(darkest, 30);
}

TEST_F(CodecTest, NclxOnlyWideGamutGetsAMatchingProfileAndSrgbNone)
{
    HeifFixture wide;
    wide.nclxPrimaries = 9;  // BT.2020
    const std::string source = dir_.file("wide.heic");
    wide.write(source);
    ASSERT_TRUE(toJpeg(source, dir_.file("wide.JPG"), 90, false));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(dir_.file("wide.JPG"), jpeg));
    ASSERT_GT(jpeg.icc.size(), 132u);
    EXPECT_EQ(std::string(jpeg.icc.begin() + 16, jpeg.icc.begin() + 20), "RGB ");
    std::string text(jpeg.icc.begin(), jpeg.icc.end());
    EXPECT_NE(text.find(std::string("B\0T\0.\0\x32\0\x30\0\x32\0\x30", 13)), std::string::npos);
    ASSERT_TRUE(toPng(source, dir_.file("wide.PNG")));
    PngInfo png;
    ASSERT_TRUE(testsupport::readPng(dir_.file("wide.PNG"), png));
    EXPECT_EQ(png.icc, jpeg.icc);

    HeifFixture plain;
    plain.nclxPrimaries = 1;  // BT.709 with the sRGB curve is sRGB
    plain.write(dir_.file("plain.heic"));
    ASSERT_TRUE(toJpeg(dir_.file("plain.heic"), dir_.file("plain.JPG"), 90, false));
    ASSERT_TRUE(testsupport::readJpeg(dir_.file("plain.JPG"), jpeg));
    EXPECT_TRUE(jpeg.icc.empty());
}

TEST_F(CodecTest, JpegAndPngSavedUnderHeicNamesConvert)
{
    auto pattern = [](int x, int y) { return Rgb{x * 4 % 256, y * 4 % 256, 100}; };
    const std::string jpegIn = dir_.file("phone.heic");
    testsupport::writeJpeg(jpegIn, 60, 40, pattern, testsupport::makeExif(3, false, 60, 40));
    const std::string jpegOut = dir_.file("phone.JPG");
    ASSERT_TRUE(toJpeg(jpegIn, jpegOut, 92, true));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(jpegOut, jpeg));
    EXPECT_EQ(jpeg.width, 60);
    EXPECT_EQ(jpeg.height, 40);
    // Orientation 3 turned the picture over.
    EXPECT_TRUE(near(jpeg.at(59 - 10, 39 - 10), pattern(10, 10), 20));
    EXPECT_EQ(jpeg.orientation, 1);

    const std::string pngIn = dir_.file("shot.heic");
    testsupport::writePng(pngIn, 50, 30, pattern, [](int x, int) { return x < 25 ? 0 : 255; });
    const std::string pngOut = dir_.file("shot.PNG");
    ASSERT_TRUE(toPng(pngIn, pngOut));
    PngInfo png;
    ASSERT_TRUE(testsupport::readPng(pngOut, png));
    EXPECT_EQ(png.width, 50);
    EXPECT_EQ(png.channels, 4);
    EXPECT_EQ(png.at(10, 10)[3], 0);
    const std::string flat = dir_.file("shot.JPG");
    ASSERT_TRUE(toJpeg(pngIn, flat, 92, true));
    ASSERT_TRUE(testsupport::readJpeg(flat, jpeg));
    EXPECT_TRUE(near(jpeg.at(5, 15), Rgb{255, 255, 255}, 8));

    // The 737-byte "truncated JPEG" of the test set is a whole 10x10 JPEG.
    const std::string tiny = dir_.file("tiny.JPG");
    ASSERT_TRUE(toJpeg(photo("tifig_acutally_a_jpeg.heic"), tiny, 90, true));
    ASSERT_TRUE(testsupport::readJpeg(tiny, jpeg));
    EXPECT_EQ(jpeg.width, 10);

    // A JPEG cut short is no picture.
    std::vector<uint8_t> bytes = testsupport::readFile(jpegIn);
    bytes.resize(bytes.size() / 2);
    const std::string cut = dir_.file("cut.heic");
    testsupport::writeFile(cut, bytes);
    EXPECT_FALSE(toJpeg(cut, dir_.file("cut.JPG")));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("cut.JPG")));
}

TEST_F(CodecTest, OutputKeepsTheSourceDateAndANewFileMode)
{
    const std::string source = dir_.file("dated.heic");
    std::filesystem::copy_file(photo("crab_blue.heic"), source);
    struct timespec times[2] = {{1500000000, 0}, {1500000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    const std::string out = dir_.file("dated.JPG");
    ASSERT_TRUE(toJpeg(source, out));
    struct stat in {}, made {};
    ASSERT_EQ(::stat(source.c_str(), &in), 0);
    ASSERT_EQ(::stat(out.c_str(), &made), 0);
    EXPECT_EQ(made.st_mtim.tv_sec, in.st_mtim.tv_sec);
    EXPECT_EQ(made.st_mtim.tv_nsec, in.st_mtim.tv_nsec);
    mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(made.st_mode & 0777, 0666u & ~mask);
}

TEST_F(CodecTest, LargeExifLosesItsThumbnailToFitOneSegment)
{
    const std::string out = dir_.file("big.JPG");
    ASSERT_TRUE(toJpeg(photo("ph_xiaomi.heic"), out, 85, true));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
    ASSERT_EQ(jpeg.exifSegments, 1);
    EXPECT_LE(jpeg.exifTiff.size() + 6, 65533u);
    EXPECT_FALSE(jpeg.exifThumbnail);
    EXPECT_EQ(jpeg.pixelX, 2592);
    EXPECT_EQ(jpeg.pixelY, 1944);
}

TEST_F(CodecTest, TwoHundredMegapixelPhotoConverts)
{
    const std::string out = dir_.file("huge.JPG");
    ASSERT_TRUE(toJpeg(photo("ph_200MP.heic"), out, 80, true));
    JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
    EXPECT_EQ(jpeg.width, 12240);
    EXPECT_EQ(jpeg.height, 16320);
    EXPECT_EQ(jpeg.orientation, 1);
}
