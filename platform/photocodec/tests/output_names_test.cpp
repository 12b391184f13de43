// Output names when several conversions aim at the same name at once: with
// NameTaken::NextFreeNumber the one that comes second to the final link
// takes the next free number instead of failing; with Fail nothing changes.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "output_file.h"
#include "photocodec/heic_decoder.h"
#include "test_support.h"

namespace {

using photocodec::OutputFile;

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

bool writeAndCommit(OutputFile& file, const std::string& text)
{
    if (::write(file.fd(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        return false;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::string error;
    return file.commit(now, error);
}

TEST(OutputNames, NumberedNamesFollowTheFreeNameRule)
{
    EXPECT_EQ(OutputFile::numberedName("IMG_0001.JPG", 0), "IMG_0001.JPG");
    EXPECT_EQ(OutputFile::numberedName("IMG_0001.JPG", 1), "IMG_0001 (1).JPG");
    EXPECT_EQ(OutputFile::numberedName("a.b.PNG", 12), "a.b (12).PNG");
    EXPECT_EQ(OutputFile::numberedName(".hidden", 2), ".hidden (2)");
    EXPECT_EQ(OutputFile::numberedName("noext", 3), "noext (3)");
}

TEST(OutputNames, TheSecondToTheFinalLinkTakesTheNextFreeNumber)
{
    testsupport::TempDir dir;
    std::string error;
    // Both check the name before either is in place: both see it free.
    auto first = OutputFile::create(dir.file("photo.JPG"), error, OutputFile::NameTaken::NextFreeNumber);
    auto second = OutputFile::create(dir.file("photo.JPG"), error, OutputFile::NameTaken::NextFreeNumber);
    ASSERT_TRUE(first && second) << error;
    ASSERT_TRUE(writeAndCommit(*first, "first"));
    ASSERT_TRUE(writeAndCommit(*second, "second"));
    EXPECT_FALSE(first->tookAnotherName());
    EXPECT_TRUE(second->tookAnotherName());
    EXPECT_EQ(second->path(), dir.file("photo (1).JPG"));
    EXPECT_EQ(sorted(dir.entries()), (std::vector<std::string>{"photo (1).JPG", "photo.JPG"}));
    EXPECT_EQ(testsupport::readFile(dir.file("photo.JPG")), (std::vector<uint8_t>{'f', 'i', 'r', 's', 't'}));

    // Names taken before the start are skipped at once.
    auto third = OutputFile::create(dir.file("photo.JPG"), error, OutputFile::NameTaken::NextFreeNumber);
    ASSERT_TRUE(third);
    ASSERT_TRUE(writeAndCommit(*third, "third"));
    EXPECT_EQ(third->path(), dir.file("photo (2).JPG"));

    // With Fail the second one fails and leaves nothing behind.
    auto a = OutputFile::create(dir.file("other.JPG"), error);
    auto b = OutputFile::create(dir.file("other.JPG"), error);
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(writeAndCommit(*a, "a"));
    EXPECT_FALSE(writeAndCommit(*b, "b"));
    EXPECT_EQ(sorted(dir.entries()),
              (std::vector<std::string>{"other.JPG", "photo (1).JPG", "photo (2).JPG", "photo.JPG"}));
}

TEST(OutputNames, ParallelConversionsOfOnePhotoIntoOneFolderAllSucceed)
{
    testsupport::TempDir dir;
    constexpr int kThreads = 4;
    std::vector<int> results(kThreads, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            HeicDecoder* decoder = HeicDecoder::NewHeicDecoder();
            JpegEncoder* jpeg = decoder->newJpegEncoder();
            results[i] = decoder->convertToJpeg(jpeg, testsupport::u16(testsupport::photo("lh_example.heic")).c_str(),
                                                testsupport::u16(dir.file("lh_example.JPG")).c_str(), 85, true,
                                                HeicDecoder::NameTaken::NextFreeNumber)
                             ? 1
                             : 0;
            decoder->destroyJpegEncoder(jpeg);
            HeicDecoder::Destroy(decoder);
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(results, std::vector<int>(kThreads, 1));
    EXPECT_EQ(sorted(dir.entries()), (std::vector<std::string>{"lh_example (1).JPG", "lh_example (2).JPG",
                                                               "lh_example (3).JPG", "lh_example.JPG"}));
    for (const std::string& name : dir.entries()) {
        testsupport::JpegInfo info;
        EXPECT_TRUE(testsupport::readJpeg(dir.file(name), info) && info.width > 0) << name;
    }
}

}  // namespace
