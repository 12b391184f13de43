// The codec's inner parts: EXIF and XMP editing, the geometry, the tile
// pipeline against libheif's own decoding, made colour profiles and the
// helper protocol.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <libheif/heif.h>

#include <cstring>
#include <random>

#include "color_profile.h"
#include "exif_block.h"
#include "geometry.h"
#include "heif_handles.h"
#include "heif_photo.h"
#include "png_sink.h"
#include "source_bytes.h"
#include "test_support.h"
#include "tile_pipeline.h"
#include "wire_protocol.h"
#include "xmp_packet.h"

using namespace photocodec;

namespace {

// Keeps what the pipeline delivers.
class CaptureSink : public BandSink {
public:
    bool begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string&) override
    {
        format_ = format;
        width_ = width;
        height_ = height;
        planes_.assign(static_cast<size_t>(format.planeCount()), {});
        return true;
    }
    bool consume(Band& band, std::string&) override
    {
        EXPECT_EQ(band.top, nextRow_);
        nextRow_ += band.height;
        for (size_t p = 0; p < band.planes.size(); ++p) {
            const PlaneView& v = band.planes[p];
            for (uint32_t r = 0; r < v.height; ++r) {
                planes_[p].insert(planes_[p].end(), v.row(r), v.row(r) + v.width * format_.bytesPerPixel(static_cast<int>(p)));
            }
        }
        return true;
    }
    bool finish(std::string&) override { return nextRow_ == height_; }

    PixelFormat format_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t nextRow_ = 0;
    std::vector<std::vector<uint8_t>> planes_;
};

class HeifLibraryUse : public ::testing::Environment {
public:
    void SetUp() override { heif_init(nullptr); }
};
::testing::Environment* const heifEnvironment = ::testing::AddGlobalTestEnvironment(new HeifLibraryUse);

}  // namespace

TEST(ExifBlock, ReadsAndResetsOrientationInBothByteOrders)
{
    for (bool bigEndian : {false, true}) {
        auto block = ExifBlock::parse(testsupport::makeExif(6, bigEndian, 4000, 3000, 5000));
        ASSERT_TRUE(block.has_value());
        EXPECT_EQ(block->orientation(), 6);
        EXPECT_TRUE(block->hasThumbnail());
        block->setOrientationUpright();
        block->setPixelDimensions(3000, 4000);
        block->dropThumbnail();
        auto again = ExifBlock::parse(block->bytes());
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(again->orientation(), 1);
        EXPECT_FALSE(again->hasThumbnail());
    }
}

TEST(ExifBlock, ShrinksByCuttingOffTheThumbnailOrGivesUp)
{
    std::vector<uint8_t> big = testsupport::makeExif(1, false, 10, 10, 70000);
    auto block = ExifBlock::parse(big);
    ASSERT_TRUE(block.has_value());
    ASSERT_GT(block->bytes().size(), kMaxJpegExifTiffBytes);
    ASSERT_TRUE(block->shrinkTo(kMaxJpegExifTiffBytes));
    EXPECT_LT(block->bytes().size(), 200u);
    EXPECT_FALSE(block->hasThumbnail());
    EXPECT_EQ(ExifBlock::parse(block->bytes())->orientation(), 1);

    // A value the main directory needs (a maker note, say) is itself too
    // big: nothing can be cut, the block does not fit.
    std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0,
                                 1, 0,                               // one entry
                                 0x7C, 0x92, 7, 0, 0x70, 0x11, 1, 0, // 0x927C UNDEFINED, 70000 bytes
                                 26, 0, 0, 0,                        // at 26
                                 0, 0, 0, 0};                        // no IFD1
    tiff.resize(26 + 70000, 0xAA);
    auto note = ExifBlock::parse(tiff);
    ASSERT_TRUE(note.has_value());
    EXPECT_FALSE(note->shrinkTo(kMaxJpegExifTiffBytes));
}

TEST(ExifBlock, NeverReadsOutsideWhateverItIsGiven)
{
    // Random damage to a valid block must never read out of bounds (the
    // sanitizer build watches every access).
    std::mt19937 random(1234);
    const std::vector<uint8_t> base = testsupport::makeExif(8, true, 640, 480, 300);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = base;
        int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes; ++i) {
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        }
        if (random() % 4 == 0) {
            bytes.resize(random() % bytes.size());
        }
        if (auto block = ExifBlock::parse(bytes)) {
            block->setOrientationUpright();
            block->setPixelDimensions(1, 2);
            block->shrinkTo(64);
        }
        tiffFromHeifExif(bytes.data(), bytes.size());
        tiffFromJpegApp1(bytes.data(), bytes.size());
    }
    EXPECT_FALSE(ExifBlock::parse({}).has_value());
    EXPECT_FALSE(ExifBlock::parse({'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F}).has_value());
}

TEST(ExifBlock, FindsTheTiffHeaderInLibheifsExifItem)
{
    std::vector<uint8_t> tiff = testsupport::makeExif(3, false, 1, 1);
    std::vector<uint8_t> item = {0, 0, 0, 6, 'E', 'x', 'i', 'f', 0, 0};
    item.insert(item.end(), tiff.begin(), tiff.end());
    auto found = tiffFromHeifExif(item.data(), item.size());
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, tiff);
    // An offset that lies: the header is still found nearby.
    item[3] = 0;
    found = tiffFromHeifExif(item.data(), item.size());
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, tiff);
}

TEST(XmpPacket, OrientationAndSizeAreRewrittenInBothForms)
{
    const std::string attributes =
        "<rdf:Description tiff:Orientation=\"6\" exif:PixelXDimension='4032' exif:PixelYDimension=\"3024\" "
        "xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\"/>";
    std::string out = adjustXmp(attributes, 3024, 4032);
    EXPECT_NE(out.find("tiff:Orientation=\"1\""), std::string::npos);
    EXPECT_NE(out.find("exif:PixelXDimension='3024'"), std::string::npos);
    EXPECT_NE(out.find("exif:PixelYDimension=\"4032\""), std::string::npos);
    EXPECT_NE(out.find("xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\""), std::string::npos);

    const std::string elements = "<tiff:Orientation>8</tiff:Orientation><x:tiff:OrientationX>8</x:tiff:OrientationX>";
    EXPECT_EQ(adjustXmp(elements, 1, 1), "<tiff:Orientation>1</tiff:Orientation><x:tiff:OrientationX>8</x:tiff:OrientationX>");
}

TEST(Geometry, ExifOrientationsTakeTheCornersWhereTiffSays)
{
    // Output (0,0) comes from this source pixel of a 4x3 image.
    struct Case {
        int orientation;
        uint32_t width, height;
        int64_t sx, sy;
    };
    const Case cases[] = {
        {1, 4, 3, 0, 0}, {2, 4, 3, 3, 0}, {3, 4, 3, 3, 2}, {4, 4, 3, 0, 2},
        {5, 3, 4, 0, 0}, {6, 3, 4, 0, 2}, {7, 3, 4, 3, 2}, {8, 3, 4, 3, 0},
    };
    for (const Case& c : cases) {
        Geometry g(4, 3);
        ASSERT_TRUE(g.applyExifOrientation(c.orientation));
        EXPECT_EQ(g.width(), c.width) << c.orientation;
        EXPECT_EQ(g.height(), c.height) << c.orientation;
        const PixelMap& m = g.map();
        EXPECT_EQ(m.x0, c.sx) << c.orientation;
        EXPECT_EQ(m.y0, c.sy) << c.orientation;
    }
    Geometry g(4, 3);
    EXPECT_FALSE(g.applyExifOrientation(9));
    EXPECT_FALSE(g.crop(2, 0, 2, 0));
}

TEST(Geometry, ChromaBlocksSurviveEvenCropsOnly)
{
    PixelFormat yuv420{PixelKind::YCbCr, 2, 2};
    Geometry even(64, 48);
    ASSERT_TRUE(even.crop(2, 4, 0, 0));
    EXPECT_TRUE(even.keepsChromaBlocks(yuv420));
    Geometry odd(64, 48);
    ASSERT_TRUE(odd.crop(1, 0, 0, 0));
    EXPECT_FALSE(odd.keepsChromaBlocks(yuv420));
    // A flip of an odd width moves the blocks off their grid.
    Geometry flip(63, 48);
    flip.mirrorLeftRight();
    EXPECT_FALSE(flip.keepsChromaBlocks(yuv420));
    Geometry turn(64, 48);
    ASSERT_TRUE(turn.rotateCounterClockwise(90));
    EXPECT_TRUE(turn.keepsChromaBlocks(yuv420));
    PixelFormat yuv422{PixelKind::YCbCr, 2, 1};
    PixelFormat turned = turn.outputFormat(yuv422);
    EXPECT_EQ(turned.chromaX, 1);
    EXPECT_EQ(turned.chromaY, 2);
}

// Our tile-by-tile decoding with our own reading of irot and the grid's
// crop must give exactly libheif's picture.
class TilePipelineTest : public ::testing::TestWithParam<const char*> {};

TEST_P(TilePipelineTest, GridOutputEqualsLibheifsDecodedPicture)
{
    std::string error;
    std::vector<uint8_t> file = testsupport::readFile(testsupport::photo(GetParam()));
    auto photo = HeifPhoto::open(SourceBytes::copy(file), 4ull << 30, 2, error);
    ASSERT_TRUE(photo) << error;
    ASSERT_TRUE(photo->tileable());
    DecodeRequest request;
    request.format = PixelFormat{PixelKind::YCbCr, 2, 2};
    request.decoderId = "libde265";
    std::atomic<bool> needsRgb{false};
    auto source = photo->gridSource(request, needsRgb);
    CaptureSink sink;
    PipelineOptions options;
    options.threads = 3;
    ASSERT_TRUE(runPipeline(*source, photo->gridGeometry(), sink, options, error)) << error;

    heif_image* raw = nullptr;
    HeifOptionsPtr decode(heif_decoding_options_alloc());
    decode->decoder_id = "libde265";
    ASSERT_EQ(heif_decode_image(photo->primary(), &raw, heif_colorspace_YCbCr, heif_chroma_420, decode.get()).code,
              heif_error_Ok);
    HeifImagePtr reference(raw);
    const heif_channel channels[] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (int p = 0; p < 3; ++p) {
        int stride = 0;
        const uint8_t* data = heif_image_get_plane_readonly(raw, channels[p], &stride);
        const int w = heif_image_get_width(raw, channels[p]);
        const int h = heif_image_get_height(raw, channels[p]);
        ASSERT_EQ(static_cast<size_t>(w) * h, sink.planes_[static_cast<size_t>(p)].size()) << "plane " << p;
        size_t differing = 0;
        for (int y = 0; y < h; ++y) {
            differing += std::memcmp(data + static_cast<size_t>(y) * stride,
                                     sink.planes_[static_cast<size_t>(p)].data() + static_cast<size_t>(y) * w, w) != 0;
        }
        EXPECT_EQ(differing, 0u) << "rows differ in plane " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(RotatedGrids, TilePipelineTest,
                         ::testing::Values("tifig_1_portrait.heic", "tifig_3_frontcam.heic", "ph_arrow.heic",
                                           "sdw_TestImage.heic"));

namespace {

// `pixels` (RGB rows) through a PngSink, handed over in bands of `bandRows`.
bool encodePng(const std::string& path, uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels,
               const PngSink::Options& options, uint32_t bandRows)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const PixelFormat rgb{PixelKind::Rgb, 1, 1};
    std::string error;
    bool ok = true;
    {
        PngSink sink(file, PhotoMetadata(), options);
        Raster slot;
        ok = slot.allocate(rgb, width, bandRows, 32) && sink.begin(width, height, rgb, error);
        for (uint32_t top = 0; ok && top < height; top += bandRows) {
            Band band;
            band.top = top;
            band.height = std::min(bandRows, height - top);
            band.planes = {slot.plane(0)};
            band.planes[0].height = band.height;
            for (uint32_t r = 0; r < band.height; ++r) {
                std::memcpy(band.planes[0].row(r), &pixels[(top + r) * width * 3u], width * 3u);
            }
            ok = sink.consume(band, error);
        }
        ok = ok && sink.finish(error);
    }
    EXPECT_EQ(error, "");
    return std::fclose(file) == 0 && ok;
}

}  // namespace

TEST(PngSink, StripsDeflatedInParallelDecodeToTheSamePixelsAsOneStream)
{
    testsupport::TempDir dir;
    std::mt19937 random(7);
    // 150 rows of 634 filtered bytes: three 32 KB strips. And one row.
    for (const auto& [width, height] : {std::pair<uint32_t, uint32_t>{211, 150}, {5000, 1}}) {
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
        for (size_t i = 0; i < pixels.size(); ++i) {
            // Noise on a gradient: neither flat nor incompressible.
            pixels[i] = static_cast<uint8_t>(i / 97 + random() % 16);
        }
        PngSink::Options parallel;
        parallel.threads = 3;
        parallel.stripBytes = 32u << 10;
        PngSink::Options single;
        single.threads = 1;
        single.stripBytes = size_t{1} << 30;
        const std::string a = dir.file("parallel.png");
        const std::string b = dir.file("single.png");
        ASSERT_TRUE(encodePng(a, width, height, pixels, parallel, 37));
        ASSERT_TRUE(encodePng(b, width, height, pixels, single, 64));

        testsupport::PngInfo fromParallel, fromSingle;
        ASSERT_TRUE(testsupport::readPng(a, fromParallel)) << width << "x" << height;
        ASSERT_TRUE(testsupport::readPng(b, fromSingle));
        EXPECT_EQ(fromParallel.idatChunks, height == 1 ? 1 : 3);
        EXPECT_EQ(fromSingle.idatChunks, 1);
        EXPECT_EQ(fromParallel.pixels, fromSingle.pixels);
        EXPECT_EQ(fromParallel.pixels, pixels);
    }
}

TEST(ColorProfile, MadeProfilesAreValidAndTheirWhiteIsD50)
{
    std::vector<uint8_t> profile = makeRgbProfile(chromaticitiesFromCode(9), Transfer::Bt709, "BT.2020");
    ASSERT_TRUE(isIccProfile(profile));
    EXPECT_EQ(iccDeclaredSize(profile), profile.size());
    EXPECT_EQ(iccColorSpace(profile), "RGB ");
    EXPECT_EQ(std::memcmp(profile.data() + 12, "mntr", 4), 0);
    // The adapted colorants add up to the PCS white.
    auto tag = [&](const char* sig) -> const uint8_t* {
        uint32_t count = uint32_t{profile[128]} << 24 | uint32_t{profile[129]} << 16 | uint32_t{profile[130]} << 8 | profile[131];
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = profile.data() + 132 + i * 12;
            if (std::memcmp(e, sig, 4) == 0) {
                uint32_t offset = uint32_t{e[4]} << 24 | uint32_t{e[5]} << 16 | uint32_t{e[6]} << 8 | e[7];
                return profile.data() + offset;
            }
        }
        return nullptr;
    };
    auto fixed = [](const uint8_t* p) {
        int32_t v = static_cast<int32_t>(uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]);
        return v / 65536.0;
    };
    const double d50[3] = {0.9642, 1.0, 0.8249};
    for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (const char* sig : {"rXYZ", "gXYZ", "bXYZ"}) {
            const uint8_t* t = tag(sig);
            ASSERT_NE(t, nullptr);
            sum += fixed(t + 8 + 4 * c);
        }
        EXPECT_NEAR(sum, d50[c], 0.002);
    }
    EXPECT_TRUE(isSrgbEquivalent(1, 13));
    EXPECT_FALSE(isSrgbEquivalent(12, 13));
    EXPECT_FALSE(isSrgbEquivalent(1, 1));
}

TEST(WireProtocol, ShortOrForeignDataIsRefused)
{
    wire::Result result;
    result.ok = true;
    result.width = 12;
    result.message = "fine";
    result.payload = {1, 2, 3};
    std::vector<uint8_t> bytes = wire::encode(result);
    auto back = wire::decodeResult(bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->payload, result.payload);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::vector<uint8_t> shorter(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        EXPECT_FALSE(wire::decodeResult(shorter).has_value()) << cut;
    }
    wire::Request request;
    request.operation = wire::Operation::Thumbnail;
    std::vector<uint8_t> encoded = wire::encode(request);
    encoded[4] = 99;  // the operation, after the sequence number
    EXPECT_FALSE(wire::decodeRequest(encoded).has_value());

    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    UniqueFd a(pair[0]);
    UniqueFd b(pair[1]);
    const char junk[] = "GET / HTTP/1.1\r\n";
    ASSERT_EQ(::write(a.get(), junk, sizeof(junk)), static_cast<ssize_t>(sizeof(junk)));
    wire::Frame frame;
    EXPECT_EQ(wire::readFrame(b.get(), wire::Clock::now() + std::chrono::seconds(5), frame), wire::ReadStatus::Malformed);

    // A frame cut off by the writer's end.
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    a.reset(pair[0]);
    b.reset(pair[1]);
    ASSERT_TRUE(wire::sendFrame(a.get(), wire::MessageType::Log, wire::encodeLog("first")));
    ASSERT_EQ(wire::readFrame(b.get(), wire::Clock::now() + std::chrono::seconds(5), frame), wire::ReadStatus::Ok);
    EXPECT_EQ(wire::decodeLog(frame.payload).value_or(""), "first");
    uint8_t header[wire::kHeaderBytes] = {0x50, 0x58, 0x42, 0x43, 5, 0, wire::kVersion, 0, 100, 0, 0, 0};
    ASSERT_EQ(::write(a.get(), header, sizeof(header)), static_cast<ssize_t>(sizeof(header)));
    a.reset();
    EXPECT_EQ(wire::readFrame(b.get(), wire::Clock::now() + std::chrono::seconds(5), frame), wire::ReadStatus::Closed);

    // Nothing comes: the deadline ends the wait.
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    UniqueFd c(pair[0]);
    UniqueFd d(pair[1]);
    EXPECT_EQ(wire::readFrame(d.get(), wire::Clock::now() + std::chrono::milliseconds(50), frame),
              wire::ReadStatus::TimedOut);
}
