// Bad input, bad folders and a misbehaving helper: each fails that one
// file cleanly, leaves nothing behind, and the next file still converts
// with the same decoder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "codec_fixture.h"
#include "worker_client.h"

using testsupport::photo;

namespace {

bool onlyEntry(const testsupport::TempDir& dir, const std::string& name)
{
    std::vector<std::string> entries = dir.entries();
    return entries.size() == 1 && entries[0] == name;
}

// The running children of this process whose name starts with `name`
// (the kernel keeps 15 characters of it).
std::vector<int> helpers(const std::string& name)
{
    std::vector<int> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::vector<uint8_t> stat = testsupport::readFile(entry.path().string() + "/stat");
        std::string text(stat.begin(), stat.end());
        size_t close = text.rfind(')');
        if (close == std::string::npos || close + 4 >= text.size() ||
            text.find("(" + name.substr(0, 15)) == std::string::npos || text[close + 2] == 'Z') {
            continue;
        }
        std::string parent = text.substr(close + 4, text.find(' ', close + 4) - close - 4);
        if (parent == std::to_string(::getpid())) {
            pids.push_back(std::stoi(pid));
        }
    }
    return pids;
}

}  // namespace

TEST_F(CodecTest, BrokenSourcesFailAloneAndTheNextPhotoConverts)
{
    testsupport::TempDir inputs;
    std::vector<uint8_t> whole = testsupport::readFile(photo("tifig_2_landscape.heic"));
    std::vector<uint8_t> half(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
    testsupport::writeFile(inputs.file("half.heic"), half);
    testsupport::writeFile(inputs.file("text.heic"), std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'p', 'h', 'o', 't', 'o'});
    // Root reads anything, so unreadable means not a file at all.
    std::filesystem::create_directory(inputs.file("folder.heic"));
    std::filesystem::create_symlink(inputs.file("nowhere.heic"), inputs.file("dangling.heic"));

    const std::vector<std::string> broken = {
        inputs.file("half.heic"),
        photo("ph_empty.heic"),
        photo("ph_corrupted.heic"),
        photo("ph_corrupted.hif"),
        photo("lh_clusterfuzz-testcase-minimized-file-fuzzer-5120279175102464.heic"),
        photo("crab_b_506659035_hvcc_nal_zero_length.heic"),
        inputs.file("text.heic"),
        inputs.file("folder.heic"),
        inputs.file("dangling.heic"),
        inputs.file("missing.heic"),
    };
    for (const std::string& source : broken) {
        EXPECT_FALSE(toJpeg(source, dir_.file("out.JPG"))) << source;
        EXPECT_FALSE(toPng(source, dir_.file("out.PNG"))) << source;
        EXPECT_TRUE(dir_.entries().empty()) << source;
        if (source == inputs.file("half.heic")) {
            continue;  // its preview, at the start of the file, is whole
        }
        Thumbnail t = thumbnail(source, 128);
        EXPECT_FALSE(t.ok) << source;
        EXPECT_TRUE(t.bufferNull);
        EXPECT_EQ(t.length, 0u);
    }
    ASSERT_TRUE(toJpeg(photo("tifig_no_grid.heic"), dir_.file("good.JPG")));
    EXPECT_TRUE(onlyEntry(dir_, "good.JPG"));
    EXPECT_EQ(testsupport::zombieChildren(), 0);
}

TEST_F(CodecTest, AnExistingFileIsNeverReplaced)
{
    const std::string taken = dir_.file("IMG_0001.JPG");
    const std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
    testsupport::writeFile(taken, mine);
    EXPECT_FALSE(toJpeg(photo("crab_blue.heic"), taken));
    EXPECT_FALSE(toPng(photo("crab_blue.heic"), taken));
    EXPECT_EQ(testsupport::readFile(taken), mine);
    EXPECT_TRUE(onlyEntry(dir_, "IMG_0001.JPG"));

    // Not even a dangling link's name is taken over.
    std::filesystem::create_symlink(dir_.file("gone"), dir_.file("link.JPG"));
    EXPECT_FALSE(toJpeg(photo("crab_blue.heic"), dir_.file("link.JPG")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.file("link.JPG")));
}

TEST_F(CodecTest, UnusableOutputFoldersFailWithNothingMade)
{
    EXPECT_FALSE(toJpeg(photo("crab_blue.heic"), dir_.file("no/such/folder/a.JPG")));
    // A path under a regular file: a folder that cannot exist (root could
    // write into a read-only folder anyway).
    testsupport::writeFile(dir_.file("plain"), {1, 2, 3});
    EXPECT_FALSE(toJpeg(photo("crab_blue.heic"), dir_.file("plain/a.JPG")));
    EXPECT_FALSE(toPng(photo("crab_blue.heic"), dir_.file("plain/a.PNG")));
    EXPECT_FALSE(toJpeg(photo("crab_blue.heic"), dir_.path() + "/"));
    EXPECT_TRUE(onlyEntry(dir_, "plain"));
    EXPECT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("a.JPG")));
}

TEST_F(CodecTest, NullAndBrokenArgumentsAreRefused)
{
    EXPECT_FALSE(decoder_->convertToJpeg(jpeg_, nullptr, testsupport::u16(dir_.file("a.JPG")).c_str(), 90, true));
    EXPECT_FALSE(decoder_->convertToPng(png_, testsupport::u16(photo("crab_blue.heic")).c_str(), nullptr));
    const char16_t loneSurrogate[] = {u'/', 0xD800, u'x', 0};
    EXPECT_FALSE(decoder_->convertToJpeg(jpeg_, loneSurrogate, testsupport::u16(dir_.file("a.JPG")).c_str(), 90, true));
    EXPECT_FALSE(decoder_->extractJpegThumbnailToBuffer(jpeg_, testsupport::u16(photo("crab_blue.heic")).c_str(),
                                                        nullptr, nullptr, 64, nullptr, nullptr));
    EXPECT_TRUE(dir_.entries().empty());
    // Quality outside 1..100 is clamped, not refused.
    EXPECT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("low.JPG"), -5, false));
    EXPECT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("high.JPG"), 1000, false));
    EXPECT_LT(std::filesystem::file_size(dir_.file("low.JPG")), std::filesystem::file_size(dir_.file("high.JPG")));
}

// A helper that crashes, hangs, talks nonsense or dies in mid-message.
class MisbehavingHelperTest : public CodecTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MisbehavingHelperTest, FailsThatFileOnlyAndLeavesNothing)
{
    ::setenv("PIXBRIDGE_HEIF_WORKER", FAKE_WORKER_PROGRAM, 1);
    ::setenv("PIXBRIDGE_FAKE_WORKER_MODE", GetParam(), 1);
    ::setenv("PIXBRIDGE_HEIF_WORKER_TIMEOUT_MS", "1500", 1);
    EXPECT_FALSE(toJpeg(photo("crab_blue.heic"), dir_.file("a.JPG")));
    EXPECT_TRUE(dir_.entries().empty());
    Thumbnail t = thumbnail(photo("crab_blue.heic"), 64);
    EXPECT_FALSE(t.ok);
    EXPECT_TRUE(t.bufferNull);
    EXPECT_EQ(testsupport::zombieChildren(), 0);

    // The same decoder starts a good helper for the next photo.
    ::unsetenv("PIXBRIDGE_HEIF_WORKER");
    ::unsetenv("PIXBRIDGE_HEIF_WORKER_TIMEOUT_MS");
    EXPECT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("b.JPG")));
    EXPECT_TRUE(onlyEntry(dir_, "b.JPG"));
    EXPECT_EQ(testsupport::zombieChildren(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, MisbehavingHelperTest,
                         ::testing::Values("abort", "write-then-abort", "hang", "garbage", "half-result", "no-hello",
                                           "false-success"));

// Overlapped conversions when the helper dies with two photos under way:
// each goes again on its own in a fresh helper, so only a photo that takes
// that one down as well fails; the others, before and after, convert.
TEST_F(CodecTest, AHelperCrashWithTwoPhotosUnderWayCostsOnlyThePhotosThatCrashIt)
{
    ::setenv("PIXBRIDGE_HEIF_WORKER", FAKE_WORKER_PROGRAM, 1);
    ::setenv("PIXBRIDGE_FAKE_WORKER_MODE", "crash-marked", 1);
    testsupport::TempDir inputs;
    // b and c crash the helper together; e crashes it with f under way.
    const std::string batch = "abcdef";
    const std::string crashers = "bce";
    for (char c : batch) {
        const std::string content = crashers.find(c) != std::string::npos ? "CRASH" : "fine!";
        testsupport::writeFile(inputs.file(std::string(1, c) + ".heic"), std::vector<uint8_t>(content.begin(), content.end()));
    }
    std::string converted;
    size_t started = 0;
    size_t finished = 0;
    while (finished < batch.size()) {
        while (started < batch.size() && started - finished < HeicDecoder::kConversionsAtOnce) {
            const std::string name(1, batch[started++]);
            decoder_->startConvertToJpeg(jpeg_, testsupport::u16(inputs.file(name + ".heic")).c_str(),
                                         testsupport::u16(dir_.file(name + ".JPG")).c_str(), 90, true,
                                         HeicDecoder::NameTaken::Fail);
        }
        if (decoder_->finishConversion()) {
            converted += batch[finished];
        }
        ++finished;
    }
    EXPECT_EQ(converted, "adf");
    std::vector<std::string> written = dir_.entries();
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"a.JPG", "d.JPG", "f.JPG"}));
    EXPECT_EQ(testsupport::zombieChildren(), 0);
}

TEST_F(CodecTest, AHelperKilledFromOutsideIsReplaced)
{
    ASSERT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("a.JPG")));
    // Kill our helper while it waits for work.
    const std::vector<int> ours = helpers("pixbridge-heif-worker");
    ASSERT_EQ(ours.size(), 1u);
    ::kill(ours[0], SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("b.JPG")));
    EXPECT_EQ(testsupport::zombieChildren(), 0);
}

// A decoder that ends leaves its helper to the next one, which converts
// with it; one that died while it waited is replaced; a stand-in named in
// the environment ends with its decoder.
TEST_F(CodecTest, TheNextDecoderTakesOverTheHelper)
{
    auto newDecoder = [this] {
        decoder_->destroyJpegEncoder(jpeg_);
        decoder_->destroyPngEncoder(png_);
        HeicDecoder::Destroy(decoder_);
        decoder_ = HeicDecoder::NewHeicDecoder();
        jpeg_ = decoder_->newJpegEncoder();
        png_ = decoder_->newPngEncoder();
    };
    ASSERT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("a.JPG")));
    const std::vector<int> first = helpers("pixbridge-heif-worker");
    ASSERT_EQ(first.size(), 1u);
    newDecoder();
    EXPECT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("b.JPG")));
    EXPECT_TRUE(toPng(photo("crab_blue.heic"), dir_.file("b.PNG")));
    EXPECT_EQ(helpers("pixbridge-heif-worker"), first);

    newDecoder();
    ::kill(first[0], SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("c.JPG")));
    const std::vector<int> second = helpers("pixbridge-heif-worker");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second, first);

    ::setenv("PIXBRIDGE_HEIF_WORKER", FAKE_WORKER_PROGRAM, 1);
    ::setenv("PIXBRIDGE_FAKE_WORKER_MODE", "crash-marked", 1);
    testsupport::writeFile(dir_.file("fine.heic"), {'f', 'i', 'n', 'e', '!'});
    newDecoder();
    EXPECT_TRUE(toJpeg(dir_.file("fine.heic"), dir_.file("d.JPG")));
    EXPECT_EQ(helpers("fake_heif_worker").size(), 1u);
    newDecoder();
    EXPECT_TRUE(helpers("fake_heif_worker").empty());
    EXPECT_EQ(helpers("pixbridge-heif-worker"), second);
    EXPECT_EQ(testsupport::zombieChildren(), 0);
    ::unsetenv("PIXBRIDGE_HEIF_WORKER");
    ::unsetenv("PIXBRIDGE_FAKE_WORKER_MODE");
}

// Ctrl+C goes to the terminal's process group: the program's. The helper,
// in a group of its own, keeps decoding the photos under way while the
// program finishes them.
TEST_F(CodecTest, TheHelperHasAProcessGroupOfItsOwn)
{
    ASSERT_TRUE(toJpeg(photo("crab_blue.heic"), dir_.file("a.JPG")));
    const std::vector<int> ours = helpers("pixbridge-heif-worker");
    ASSERT_EQ(ours.size(), 1u);
    EXPECT_EQ(::getpgid(ours[0]), ours[0]);
    EXPECT_NE(::getpgid(ours[0]), ::getpgid(0));
}

// The helper tells a photo's size to lengthen its time limit; what it says
// lengthens it by minutes at most, never by years, and never overflows.
TEST(HelperTimeLimit, APhotosSizeLengthensItOnlySoFar)
{
    using photocodec::WorkerClient;
    const int64_t cap = WorkerClient::kMaxExtensionMs;
    const struct {
        int64_t baseMs;
        uint64_t pixels;
        int64_t wantMs;
    } cases[] = {
        {60000, 0, 60000},
        {60000, 999999, 60000},
        {60000, 12000000, 72000},               // a phone photo: twelve seconds more
        {60000, 1000000000, 60000 + 1000000},   // the largest libheif decodes, under the cap
        {60000, 1000000000000000ULL, 60000 + cap},
        {60000, UINT64_MAX, 60000 + cap},
        {INT64_MAX, UINT64_MAX, WorkerClient::kMaxBaseMs + cap},
        {-5, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WorkerClient::timeLimitMs(c.baseMs, c.pixels), c.wantMs) << c.baseMs << " ms, " << c.pixels << " pixels";
    }
    EXPECT_LE(cap, 30 * 60 * 1000);
}

TEST(CodecConcurrency, SeveralDecodersWorkAtOnce)
{
    testsupport::TempDir dir;
    const std::vector<std::string> photos = {"tifig_3_frontcam.heic", "ph_xiaomi.heic", "lh_example.heic",
                                             "crab_blue_alpha.heic"};
    std::vector<int> results(photos.size(), 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < photos.size(); ++i) {
        threads.emplace_back([&, i] {
            HeicDecoder* decoder = HeicDecoder::NewHeicDecoder();
            JpegEncoder* jpeg = decoder->newJpegEncoder();
            bool ok = true;
            for (int round = 0; round < 2; ++round) {
                std::string out = dir.file(std::to_string(i) + "_" + std::to_string(round) + ".JPG");
                ok = decoder->convertToJpeg(jpeg, testsupport::u16(photo(photos[i])).c_str(),
                                            testsupport::u16(out).c_str(), 85, true) && ok;
                testsupport::JpegInfo info;
                ok = testsupport::readJpeg(out, info) && info.width > 0 && ok;
            }
            decoder->destroyJpegEncoder(jpeg);
            HeicDecoder::Destroy(decoder);
            results[i] = ok ? 1 : 0;
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (size_t i = 0; i < photos.size(); ++i) {
        EXPECT_EQ(results[i], 1) << photos[i];
    }
    EXPECT_EQ(dir.entries().size(), photos.size() * 2);
    EXPECT_EQ(testsupport::zombieChildren(), 0);
}
