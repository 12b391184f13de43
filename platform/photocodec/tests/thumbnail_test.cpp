// Thumbnails: the embedded preview when it shows the same picture, the
// photo itself scaled down otherwise, and the photo's shown size.
#include <libheif/heif_items.h>

#include <algorithm>

#include "codec_fixture.h"
#include "heif_fixture.h"

using testsupport::HeifFixture;
using testsupport::photo;
using testsupport::Rgb;

namespace {

const Rgb kBlue{20, 40, 220};
const Rgb kRed{220, 20, 20};

}  // namespace

TEST_F(CodecTest, EmbeddedPreviewOfTheRightShapeIsUsed)
{
    // A preview that differs from the photo shows which one was used.
    HeifFixture fixture;
    fixture.width = 400;
    fixture.height = 300;
    fixture.pixel = [](int, int) { return kBlue; };
    fixture.thumbnails = {{200, 150, kRed}};
    const std::string source = dir_.file("p.heic");
    fixture.write(source);

    Thumbnail t = thumbnail(source, 128);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.width, 400);
    EXPECT_EQ(t.height, 300);
    EXPECT_EQ(t.jpeg.width, 128);
    EXPECT_EQ(t.jpeg.height, 96);
    EXPECT_TRUE(near(t.jpeg.mean(10, 10, 118, 86), kRed, 30));

    // Asked for more than the preview holds: the photo itself, scaled.
    t = thumbnail(source, 300);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.jpeg.width, 300);
    EXPECT_EQ(t.jpeg.height, 225);
    EXPECT_TRUE(near(t.jpeg.mean(10, 10, 290, 215), kBlue, 30));
}

// libheif's JPEG and JPEG 2000 decoder plug-ins: such photos convert, and
// a JPEG-coded preview is a preview like any other.
TEST_F(CodecTest, JpegAndJpeg2000CodedHeifConvertAndAJpegPreviewServes)
{
    testsupport::JpegCodedHeif fixture;
    fixture.width = 400;
    fixture.height = 300;
    fixture.color = kBlue;
    fixture.previewWidth = 200;
    fixture.previewHeight = 150;
    fixture.previewColor = kRed;
    const std::string source = dir_.file("jpeg-coded.heif");
    fixture.write(source);

    Thumbnail t = thumbnail(source, 128);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.width, 400);
    EXPECT_EQ(t.jpeg.width, 128);
    EXPECT_TRUE(near(t.jpeg.mean(10, 10, 118, 86), kRed, 30));

    ASSERT_TRUE(toJpeg(source, dir_.file("p.JPG")));
    testsupport::JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(dir_.file("p.JPG"), jpeg));
    EXPECT_EQ(jpeg.width, 400);
    EXPECT_TRUE(near(jpeg.mean(10, 10, 390, 290), kBlue, 30));

    for (const char* name : {"lh_jpeg32.heif", "lh_j2k32.heif"}) {
        const std::string out = dir_.file(std::string(name) + ".PNG");
        ASSERT_TRUE(toPng(photo(name), out)) << name;
        testsupport::PngInfo png;
        ASSERT_TRUE(testsupport::readPng(out, png)) << name;
        EXPECT_EQ(png.width, 32) << name;
    }
}

TEST_F(CodecTest, PreviewOfAnotherShapeIsPassedOver)
{
    HeifFixture fixture;
    fixture.width = 400;
    fixture.height = 300;
    fixture.pixel = [](int, int) { return kBlue; };
    fixture.thumbnails = {{160, 160, kRed}};  // square, letter-boxed
    const std::string source = dir_.file("sq.heic");
    fixture.write(source);
    Thumbnail t = thumbnail(source, 128);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.jpeg.width, 128);
    EXPECT_EQ(t.jpeg.height, 96);
    EXPECT_TRUE(near(t.jpeg.mean(10, 10, 118, 86), kBlue, 30));
}

TEST_F(CodecTest, PreviewTurnsWithTheCamerasExifOrientation)
{
    HeifFixture fixture;
    fixture.width = 400;
    fixture.height = 300;
    fixture.pixel = [](int, int) { return kBlue; };
    fixture.exifTiff = testsupport::makeExif(6, false, 400, 300);
    fixture.thumbnails = {{200, 150, kRed}};
    const std::string source = dir_.file("turn.heic");
    fixture.write(source);
    Thumbnail t = thumbnail(source, 100);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.width, 300);
    EXPECT_EQ(t.height, 400);
    EXPECT_EQ(t.jpeg.width, 75);
    EXPECT_EQ(t.jpeg.height, 100);
    EXPECT_TRUE(near(t.jpeg.mean(5, 5, 70, 95), kRed, 30));
}

TEST_F(CodecTest, PhoneThumbnailsGiveTheShownSize)
{
    Thumbnail t = thumbnail(photo("tifig_1_portrait.heic"), 256);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.width, 3024);
    EXPECT_EQ(t.height, 4032);
    EXPECT_EQ(t.jpeg.width, 192);
    EXPECT_EQ(t.jpeg.height, 256);
    EXPECT_EQ(t.jpeg.icc.size(), 548u);
    EXPECT_EQ(t.jpeg.exifSegments, 0);

    // A camera file whose smallest preview is a letter-boxed JPEG.
    t = thumbnail(photo("ph_cat.hif"), 160);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.width, 4240);
    EXPECT_EQ(t.height, 2832);
    EXPECT_EQ(t.jpeg.width, 160);
    EXPECT_NEAR(t.jpeg.height, 107, 1);  // the preview's own rounding

    // No preview at all: a scaled decode.
    t = thumbnail(photo("tifig_no_grid.heic"), 64);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.jpeg.width, 64);
    EXPECT_EQ(t.jpeg.height, 36);
}

TEST_F(CodecTest, ThumbnailsAreNeverBlownUpAndZeroMeansADefault)
{
    Thumbnail t = thumbnail(photo("crab_blue.heic"), 2000);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.jpeg.width, 320);
    EXPECT_EQ(t.jpeg.height, 240);

    t = thumbnail(photo("tifig_2_landscape.heic"), 0);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(std::max(t.jpeg.width, t.jpeg.height), 256);
    t = thumbnail(photo("tifig_2_landscape.heic"), -40);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(std::max(t.jpeg.width, t.jpeg.height), 256);

    // Alpha goes on white here too.
    t = thumbnail(photo("ph_LA_8__128x128.heif"), 64);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.jpeg.width, 64);

    // A JPEG under a HEIC name.
    t = thumbnail(photo("tifig_acutally_a_jpeg.heic"), 64);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.width, 10);
    EXPECT_EQ(t.jpeg.width, 10);
}

TEST_F(CodecTest, ADamagedPreviewNeitherStopsThePhotoNorTheThumbnail)
{
    HeifFixture fixture;
    fixture.width = 400;
    fixture.height = 300;
    fixture.pixel = [](int, int) { return kBlue; };
    fixture.thumbnails = {{200, 150, kRed}};
    const std::string source = dir_.file("hurt.heic");
    fixture.write(source);

    // Find the preview's coded bytes in the file and wreck them.
    heif_context* ctx = heif_context_alloc();
    ASSERT_EQ(heif_context_read_from_file(ctx, source.c_str(), nullptr).code, heif_error_Ok);
    heif_image_handle* primary = nullptr;
    ASSERT_EQ(heif_context_get_primary_image_handle(ctx, &primary).code, heif_error_Ok);
    heif_item_id thumbId = 0;
    ASSERT_EQ(heif_image_handle_get_list_of_thumbnail_IDs(primary, &thumbId, 1), 1);
    uint8_t* data = nullptr;
    size_t size = 0;
    heif_metadata_compression compression = heif_metadata_compression_off;
    ASSERT_EQ(heif_item_get_item_data(ctx, thumbId, &compression, &data, &size).code, heif_error_Ok);
    std::vector<uint8_t> coded(data, data + size);
    heif_release_item_data(ctx, &data);
    heif_image_handle_release(primary);
    heif_context_free(ctx);
    std::vector<uint8_t> file = testsupport::readFile(source);
    auto at = std::search(file.begin(), file.end(), coded.begin(), coded.end());
    ASSERT_NE(at, file.end());
    for (size_t i = 0; i < coded.size(); ++i) {
        at[static_cast<long>(i)] = static_cast<uint8_t>(i * 37);
    }
    testsupport::writeFile(source, file);

    ASSERT_TRUE(toJpeg(source, dir_.file("hurt.JPG")));
    testsupport::JpegInfo jpeg;
    ASSERT_TRUE(testsupport::readJpeg(dir_.file("hurt.JPG"), jpeg));
    EXPECT_TRUE(near(jpeg.mean(10, 10, 390, 290), kBlue, 30));
    Thumbnail t = thumbnail(source, 128);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.jpeg.width, 128);
    EXPECT_TRUE(near(t.jpeg.mean(10, 10, 118, 86), kBlue, 30));
}
