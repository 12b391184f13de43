// Thumbnails and the desktop's shared thumbnail cache: entries other
// programs made, the entries and failure entries we make, the EXIF
// thumbnail of a photo without a preview, and caches that do not help.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>

#include "codec_fixture.h"
#include "heif_fixture.h"
#include "unique_fd.h"

namespace fs = std::filesystem;
using testsupport::HeifFixture;
using testsupport::Rgb;

namespace {

const Rgb kBlue{20, 40, 220};
const Rgb kRed{220, 20, 20};
const Rgb kGreen{30, 200, 40};

// The photo's own pixels are blue; a thumbnail of another colour came from
// somewhere else.
HeifFixture bluePhoto()
{
    HeifFixture fixture;
    fixture.width = 400;
    fixture.height = 300;
    fixture.pixel = [](int, int) { return kBlue; };
    return fixture;
}

void setModified(const std::string& path, time_t seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

int modeOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// The one entry in a folder of the cache.
std::string onlyEntry(const std::string& folder)
{
    std::vector<std::string> names;
    if (fs::is_directory(folder)) {
        for (const auto& e : fs::directory_iterator(folder)) {
            names.push_back(e.path().string());
        }
    }
    return names.size() == 1 ? names[0] : std::string();
}

class ThumbnailCacheTest : public CodecTest {
protected:
    std::string thumbnails(const std::string& sub = "") const
    {
        return cache_.path() + "/thumbnails" + (sub.empty() ? "" : "/" + sub);
    }
};

}  // namespace

// GNOME Files names an entry by the MD5 of the photo's URI, in which a
// space, a non-ASCII letter and "%" are escaped; the name here is spelt out
// as it does, not worked out by the code under test. The path is fixed
// for that, so test runs on the same machine take turns with it.
TEST_F(ThumbnailCacheTest, AnotherProgramsEntryIsUsedWhileItStandsForThePhoto)
{
    const std::string folder = "/tmp/Pix Bridge café 100%";
    const std::string source = folder + "/IMG 0001.heic";
    const std::string uri = "file:///tmp/Pix%20Bridge%20caf%C3%A9%20100%25/IMG%200001.heic";
    const std::string entry = thumbnails("large/93669e2ff2a4c3b2fedc6591a31a9e86.png");
    photocodec::UniqueFd turn(::open("/tmp/pixbridge-thumbnail-cache-test.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    ASSERT_TRUE(turn.valid());
    ASSERT_EQ(::flock(turn.get(), LOCK_EX), 0);
    fs::remove_all(folder);
    fs::create_directories(folder);
    bluePhoto().write(source);
    setModified(source, 1700000000);
    fs::create_directories(thumbnails("large"));
    fs::permissions(thumbnails(), fs::perms::owner_all, fs::perm_options::replace);
    fs::permissions(thumbnails("large"), fs::perms::owner_all, fs::perm_options::replace);

    testsupport::writePngWithText(entry, 256, 192, kRed, {{"Thumb::URI", uri}, {"Thumb::MTime", "1700000000"}});
    Thumbnail t = thumbnail(source, 60);
    ASSERT_TRUE(t.ok);
    EXPECT_TRUE(near(t.jpeg.mean(5, 5, 55, 40), kRed, 30));
    EXPECT_EQ(t.jpeg.width, 60);
    // The photo's own size, read from its header, never the entry's.
    EXPECT_EQ(t.width, 400);
    EXPECT_EQ(t.height, 300);

    // Of an older state of the photo, or of another file: decoded instead
    // (and the stale entry replaced by ours).
    testsupport::writePngWithText(entry, 256, 192, kRed, {{"Thumb::URI", uri}, {"Thumb::MTime", "1699999999"}});
    t = thumbnail(source, 200);
    ASSERT_TRUE(t.ok);
    EXPECT_TRUE(near(t.jpeg.mean(10, 10, 190, 140), kBlue, 30));
    testsupport::PngInfo replaced;
    ASSERT_TRUE(testsupport::readPng(entry, replaced));
    EXPECT_EQ(replaced.textOf("Thumb::MTime"), "1700000000");
    EXPECT_EQ(replaced.textOf("Thumb::URI"), uri);

    testsupport::writePngWithText(entry, 256, 192, kRed,
                                  {{"Thumb::URI", uri + "x"}, {"Thumb::MTime", "1700000000"}});
    t = thumbnail(source, 60);
    ASSERT_TRUE(t.ok);
    EXPECT_TRUE(near(t.jpeg.mean(5, 5, 55, 40), kBlue, 30));
    fs::remove_all(folder);
}

TEST_F(ThumbnailCacheTest, EntriesAreMadeAtTheirFoldersFullSizeAndPrivate)
{
    HeifFixture fixture = bluePhoto();
    fixture.thumbnails = {{320, 240, kRed}};
    const std::string source = dir_.file("p.heic");
    fixture.write(source);
    struct stat info {};
    ASSERT_EQ(::stat(source.c_str(), &info), 0);

    // A list of 60-pixel rows: the entry goes into "normal" at 128 pixels.
    Thumbnail t = thumbnail(source, 60);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.jpeg.width, 60);
    const std::string entry = onlyEntry(thumbnails("normal"));
    ASSERT_FALSE(entry.empty());
    testsupport::PngInfo png;
    ASSERT_TRUE(testsupport::readPng(entry, png));
    EXPECT_EQ(png.width, 128);
    EXPECT_EQ(png.height, 96);
    EXPECT_TRUE(near(Rgb{png.at(64, 48)[0], png.at(64, 48)[1], png.at(64, 48)[2]}, kRed, 30));
    EXPECT_EQ(png.textOf("Thumb::URI"), "file://" + source);
    EXPECT_EQ(png.textOf("Thumb::MTime"), std::to_string(info.st_mtim.tv_sec));
    EXPECT_EQ(png.textOf("Thumb::Size"), std::to_string(info.st_size));
    EXPECT_EQ(png.textOf("Thumb::Image::Width"), "400");
    EXPECT_EQ(png.textOf("Thumb::Image::Height"), "300");
    EXPECT_EQ(modeOf(entry), 0600);
    EXPECT_EQ(modeOf(thumbnails()), 0700);
    EXPECT_EQ(modeOf(thumbnails("normal")), 0700);
    EXPECT_EQ(fs::path(entry).filename().string().size(), 32u + 4u);

    // Larger than any preview: the photo itself, and an entry no larger
    // than the photo is, in the folder of 512 pixels.
    t = thumbnail(source, 300);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.jpeg.width, 300);
    ASSERT_TRUE(testsupport::readPng(onlyEntry(thumbnails("x-large")), png));
    EXPECT_EQ(png.width, 400);
    EXPECT_EQ(png.height, 300);

    // Our own entry serves the next time, and a replaced photo (a new
    // modification time) gets a new thumbnail.
    testsupport::writePngWithText(entry, 128, 96, kGreen,
                                  {{"Thumb::URI", "file://" + source},
                                   {"Thumb::MTime", std::to_string(info.st_mtim.tv_sec)}});
    t = thumbnail(source, 60);
    ASSERT_TRUE(t.ok);
    EXPECT_TRUE(near(t.jpeg.mean(5, 5, 55, 40), kGreen, 30));
    EXPECT_EQ(t.width, 400);
    setModified(source, info.st_mtim.tv_sec + 10);
    t = thumbnail(source, 60);
    ASSERT_TRUE(t.ok);
    EXPECT_TRUE(near(t.jpeg.mean(5, 5, 55, 40), kRed, 30));
}

// A photo the codec refuses for what it holds is not decoded again until
// it changes: here it becomes a good photo of the same size and time, and
// still gets nothing, until its time moves.
TEST_F(ThumbnailCacheTest, ARefusedPhotoIsRememberedUntilItChanges)
{
    const std::string good = dir_.file("good.heic");
    bluePhoto().write(good);
    const std::vector<uint8_t> photo = testsupport::readFile(good);
    const std::string source = dir_.file("broken.heic");
    testsupport::writeFile(source, std::vector<uint8_t>(photo.size(), 0x42));
    setModified(source, 1600000000);

    EXPECT_FALSE(thumbnail(source, 60).ok);
    const std::string failure = onlyEntry(thumbnails("fail/quillmarsh-pix-bridge-" PIXBRIDGE_VERSION));
    ASSERT_FALSE(failure.empty());
    testsupport::PngInfo png;
    ASSERT_TRUE(testsupport::readPng(failure, png));
    EXPECT_EQ(png.textOf("Thumb::URI"), "file://" + source);
    EXPECT_EQ(png.textOf("Thumb::MTime"), "1600000000");
    EXPECT_EQ(modeOf(failure), 0600);

    testsupport::writeFile(source, photo);
    setModified(source, 1600000000);
    EXPECT_FALSE(thumbnail(source, 60).ok);
    setModified(source, 1600000001);
    EXPECT_TRUE(thumbnail(source, 60).ok);
}

// A failure of the machine's (here: no HEVC decoder to load) is no failure
// of the photo's: nothing is remembered, and it is tried again.
TEST_F(ThumbnailCacheTest, AFailureForWantOfADecoderIsNotRemembered)
{
    const std::string source = dir_.file("p.heic");
    bluePhoto().write(source);
    testsupport::TempDir noPlugins;
    ::setenv("LIBHEIF_PLUGIN_PATH", noPlugins.path().c_str(), 1);
    // A helper named in the environment starts afresh, with it; under a
    // name of its own it is never kept as the spare for the next decoder.
    ::setenv("PIXBRIDGE_HEIF_WORKER", (std::string(PIXBRIDGE_APP_DIR) + "/./pixbridge-heif-worker").c_str(), 1);
    HeicDecoder* bare = HeicDecoder::NewHeicDecoder();
    uint8_t* buffer = nullptr;
    uint32_t length = 0;
    int32_t width = 0, height = 0;
    EXPECT_FALSE(bare->extractJpegThumbnailToBuffer(jpeg_, testsupport::u16(source).c_str(), &buffer, &length, 60,
                                                    &width, &height));
    HeicDecoder::Destroy(bare);
    ::unsetenv("LIBHEIF_PLUGIN_PATH");
    ::unsetenv("PIXBRIDGE_HEIF_WORKER");
    EXPECT_FALSE(fs::exists(thumbnails("fail")));
    EXPECT_TRUE(thumbnail(source, 60).ok);
}

// A photo without a HEIF preview whose EXIF data carries the camera's
// small JPEG: that one is used rather than decoding the photo.
TEST_F(ThumbnailCacheTest, TheExifThumbnailServesAPhotoWithoutAPreview)
{
    const std::string small = dir_.file("small.jpg");
    testsupport::writeJpeg(small, 160, 120, [](int, int) { return kGreen; });
    const std::vector<uint8_t> jpeg = testsupport::readFile(small);
    HeifFixture fixture = bluePhoto();
    fixture.exifTiff = testsupport::makeExif(1, false, 400, 300, jpeg.size());
    std::copy(jpeg.begin(), jpeg.end(), fixture.exifTiff.end() - static_cast<long>(jpeg.size()));
    const std::string source = dir_.file("exif.heic");
    fixture.write(source);

    Thumbnail t = thumbnail(source, 60);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.width, 400);
    EXPECT_EQ(t.height, 300);
    EXPECT_EQ(t.jpeg.width, 60);
    EXPECT_EQ(t.jpeg.height, 45);
    EXPECT_TRUE(near(t.jpeg.mean(5, 5, 55, 40), kGreen, 30));
}

TEST_F(ThumbnailCacheTest, ThumbnailsStillComeFromACacheThatDoesNotHelp)
{
    const std::string source = dir_.file("p.heic");
    bluePhoto().write(source);

    // A damaged entry of ours: decoded instead, and replaced.
    ASSERT_TRUE(thumbnail(source, 60).ok);
    const std::string entry = onlyEntry(thumbnails("normal"));
    ASSERT_FALSE(entry.empty());
    testsupport::writeFile(entry, {0x89, 'P', 'N', 'G', 1, 2, 3});
    Thumbnail t = thumbnail(source, 60);
    ASSERT_TRUE(t.ok);
    EXPECT_TRUE(near(t.jpeg.mean(5, 5, 55, 40), kBlue, 30));
    testsupport::PngInfo png;
    EXPECT_TRUE(testsupport::readPng(entry, png));

    // A read-only cache (root writes anyway), and a size folder that is
    // no folder: the thumbnail comes, nothing is written.
    fs::remove_all(thumbnails());
    fs::create_directories(thumbnails());
    fs::permissions(thumbnails(), fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    EXPECT_TRUE(thumbnail(source, 60).ok);
    if (::geteuid() != 0) {
        EXPECT_FALSE(fs::exists(thumbnails("normal")));
    }
    fs::permissions(thumbnails(), fs::perms::owner_all, fs::perm_options::replace);
    fs::remove_all(thumbnails("normal"));
    testsupport::writeFile(thumbnails("normal"), {1});
    EXPECT_TRUE(thumbnail(source, 60).ok);
    EXPECT_TRUE(fs::is_regular_file(thumbnails("normal")));

    // A cache folder that cannot be made, or a link in its place: the
    // thumbnail comes all the same.
    fs::remove_all(thumbnails());
    fs::create_symlink(dir_.path(), thumbnails());
    EXPECT_TRUE(thumbnail(source, 60).ok);
    EXPECT_FALSE(fs::exists(dir_.file("normal")));
    fs::remove(thumbnails());
    ::setenv("XDG_CACHE_HOME", (dir_.path() + "/missing/cache").c_str(), 1);
    testsupport::writeFile(dir_.file("missing"), {1});
    EXPECT_TRUE(thumbnail(source, 60).ok);
}
