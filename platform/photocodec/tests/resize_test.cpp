// Conversions with a longest side: shrunk after turning, metadata that
// tells the new size, pixels as an independent resampler makes them.
#include <cmath>
#include <cstdlib>

#include "codec_fixture.h"

using testsupport::JpegInfo;
using testsupport::PngInfo;
using testsupport::photo;

namespace {

// The photo as heif-dec shows it (libheif's own transformations), scaled to
// width x height by ImageMagick's Lanczos: raw RGB, or empty when a tool is
// missing or failed.
std::vector<uint8_t> referencePixels(const std::string& source, int width, int height, const testsupport::TempDir& dir)
{
    const std::string decoded = dir.file("reference.png");
    const std::string scaled = dir.file("reference.rgb");
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (testsupport::run(std::string(HEIF_DEC_PROGRAM) + " '" + source + "' '" + decoded + "' >/dev/null 2>&1") != 0 ||
        testsupport::run(std::string(CONVERT_PROGRAM) + " '" + decoded + "' -filter Lanczos -resize " + size +
                         "! -depth 8 'rgb:" + scaled + "' 2>/dev/null") != 0) {
        return {};
    }
    return testsupport::readFile(scaled);
}

// Mean absolute difference over every sample of two RGB images.
double meanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != b.size() || a.empty()) {
        return 255;
    }
    uint64_t sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        sum += static_cast<uint64_t>(std::abs(int{a[i]} - int{b[i]}));
    }
    return static_cast<double>(sum) / static_cast<double>(a.size());
}

std::vector<uint8_t> rgbOf(const PngInfo& png)
{
    std::vector<uint8_t> rgb;
    for (int y = 0; y < png.height; ++y) {
        for (int x = 0; x < png.width; ++x) {
            rgb.insert(rgb.end(), png.at(x, y), png.at(x, y) + 3);
        }
    }
    return rgb;
}

// What the pixels may differ from the reference by, in levels on average.
// Measured: 0.5 for the PNG, 1.1 and 1.5 for the JPEGs at quality 95 (their
// coding, and chroma resized at half size). A result two pixels off differs
// by 3.4, one blurred (sigma 1.5) by 3.4, one mirrored by 66.
constexpr double kTolerance = 2.0;

}  // namespace

class ResizeTest : public CodecTest {
protected:
    void SetUp() override
    {
        CodecTest::SetUp();
        if (std::string(HEIF_DEC_PROGRAM).empty() || std::string(CONVERT_PROGRAM).empty()) {
            GTEST_SKIP() << "heif-dec or ImageMagick's convert is not installed";
        }
    }
};

TEST_F(ResizeTest, PhotosShrinkUprightWithTheirMetadataTellingTheNewSize)
{
    struct Case {
        const char* name;
        int width;
        int height;
    };
    // Landscape straight through as YCbCr; the portrait turned by its irot
    // (and EXIF orientation 8) first.
    for (const Case& c : {Case{"tifig_2_landscape.heic", 1024, 768}, Case{"tifig_1_portrait.heic", 768, 1024}}) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(decoder_->setMaxEdge(1024));
        const std::string out = dir_.file(std::string(c.name) + ".JPG");
        ASSERT_TRUE(toJpeg(photo(c.name), out, 95, true));
        JpegInfo jpeg;
        ASSERT_TRUE(testsupport::readJpeg(out, jpeg));
        EXPECT_EQ(jpeg.width, c.width);
        EXPECT_EQ(jpeg.height, c.height);
        EXPECT_EQ(jpeg.pixelX, c.width);
        EXPECT_EQ(jpeg.pixelY, c.height);
        EXPECT_EQ(jpeg.orientation, 1);
        EXPECT_EQ(jpeg.icc.size(), 548u);
        EXPECT_LT(meanDifference(jpeg.pixels, referencePixels(photo(c.name), c.width, c.height, dir_)), kTolerance);
    }

    // PNG resizes interleaved RGB rather than planes.
    const std::string png = dir_.file("portrait.PNG");
    ASSERT_TRUE(toPng(photo("tifig_1_portrait.heic"), png));
    PngInfo info;
    ASSERT_TRUE(testsupport::readPng(png, info));
    ASSERT_EQ(info.width, 768);
    ASSERT_EQ(info.height, 1024);
    EXPECT_EQ(info.icc.size(), 548u);
    EXPECT_LT(meanDifference(rgbOf(info), referencePixels(photo("tifig_1_portrait.heic"), 768, 1024, dir_)),
              kTolerance);
}

TEST_F(ResizeTest, SmallPhotosKeepTheirSizeAndExtremeReductionsWork)
{
    ASSERT_TRUE(decoder_->setMaxEdge(1024));
    JpegInfo jpeg;
    ASSERT_TRUE(toJpeg(photo("lh_rainbow-451x461.heic"), dir_.file("small.JPG")));
    ASSERT_TRUE(testsupport::readJpeg(dir_.file("small.JPG"), jpeg));
    EXPECT_EQ(jpeg.width, 451);
    EXPECT_EQ(jpeg.height, 461);

    // 4032 to 16 is beyond one libswscale pass; 29x100 leaves chroma planes
    // of odd sizes; the alpha picture keeps its alpha in PNG.
    ASSERT_TRUE(decoder_->setMaxEdge(16));
    ASSERT_TRUE(toJpeg(photo("tifig_2_landscape.heic"), dir_.file("tiny.JPG")));
    ASSERT_TRUE(testsupport::readJpeg(dir_.file("tiny.JPG"), jpeg));
    EXPECT_EQ(jpeg.width, 16);
    EXPECT_EQ(jpeg.height, 12);
    EXPECT_EQ(jpeg.pixelX, 16);
    ASSERT_TRUE(toJpeg(photo("ph_RGB_8__29x100.heif"), dir_.file("narrow.JPG")));
    ASSERT_TRUE(testsupport::readJpeg(dir_.file("narrow.JPG"), jpeg));
    EXPECT_EQ(jpeg.width, 5);
    EXPECT_EQ(jpeg.height, 16);
    PngInfo png;
    ASSERT_TRUE(toPng(photo("ph_RGBA_8__128x128.heif"), dir_.file("alpha.PNG")));
    ASSERT_TRUE(testsupport::readPng(dir_.file("alpha.PNG"), png));
    EXPECT_EQ(png.width, 16);
    EXPECT_EQ(png.height, 16);
    EXPECT_EQ(png.channels, 4);

    // Sizes the library cannot honour are refused, and change nothing.
    EXPECT_FALSE(decoder_->setMaxEdge(15));
    EXPECT_FALSE(decoder_->setMaxEdge(65536));
    EXPECT_FALSE(decoder_->setMaxEdge(-1));
    ASSERT_TRUE(toJpeg(photo("lh_rainbow-451x461.heic"), dir_.file("still16.JPG")));
    ASSERT_TRUE(testsupport::readJpeg(dir_.file("still16.JPG"), jpeg));
    EXPECT_EQ(jpeg.height, 16);
}
