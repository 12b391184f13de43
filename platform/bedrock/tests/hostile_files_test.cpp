// Files that a hostile or clumsy user can put where the program reads its
// settings and data: FIFOs, devices, huge files, links, and JSON nested
// millions of levels deep. Each must be refused quickly, without a crash.
#include <bedrock/bas_json.h>
#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using Status = BASUtilityFile::ReadStatus;

namespace {

class HostileFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("hostile_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(HostileFile, FifoDeviceFolderAndOversizedFilesAreNotRead) {
    const auto start = std::chrono::steady_clock::now();
    std::string out = "stale", error;
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(BASUtilityFile::ReadRegularFile((dir_ / "fifo").string(), out, 1024, &error), Status::NotRegularFile);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(BASUtilityFile::ReadWholeFile((dir_ / "fifo").string(), out));  // would block without a writer
    EXPECT_EQ(BASUtilityFile::ReadRegularFile("/dev/zero", out, 1024), Status::NotRegularFile);  // would never end
    EXPECT_EQ(BASUtilityFile::ReadRegularFile(dir_.string(), out, 1024), Status::NotRegularFile);
    EXPECT_EQ(BASUtilityFile::ReadRegularFile((dir_ / "missing").string(), out, 1024), Status::Missing);

    // A sparse file over the data-file cap costs nothing to make and is refused unread.
    {
        std::ofstream big(dir_ / "big.json");
    }
    fs::resize_file(dir_ / "big.json", BASUtilityFile::kMaxDataFileBytes + 1);
    EXPECT_EQ(BASUtilityFile::ReadRegularFile((dir_ / "big.json").string(), out, BASUtilityFile::kMaxDataFileBytes),
              Status::TooLarge);
    EXPECT_FALSE(BASUtilityFile::ReadWholeFile((dir_ / "big.json").string(), out));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(HostileFile, RegularFilesReadWholeAndLinksOnlyWhenAllowed) {
    std::ofstream(dir_ / "a.json") << "{\"x\": 1}";
    fs::create_symlink(dir_ / "a.json", dir_ / "link.json");
    std::string out;
    EXPECT_EQ(BASUtilityFile::ReadRegularFile((dir_ / "a.json").string(), out, 1024), Status::Ok);
    EXPECT_EQ(out, "{\"x\": 1}");
    EXPECT_EQ(BASUtilityFile::ReadRegularFile((dir_ / "link.json").string(), out, 1024), Status::Ok);
    EXPECT_EQ(BASUtilityFile::ReadRegularFile((dir_ / "link.json").string(), out, 1024, nullptr, false),
              Status::NotRegularFile);
    EXPECT_EQ(BASUtilityFile::ReadRegularFile((dir_ / "a.json").string(), out, 4), Status::TooLarge);
}

TEST(JsonDepth, MillionsOfLevelsAreRefusedWithoutRecursion) {
    const auto start = std::chrono::steady_clock::now();
    for (size_t levels : {size_t(20000), size_t(3000000)}) {
        const std::string deep = std::string(levels, '[') + std::string(levels, ']');
        rapidjson::Document doc;
        std::string error;
        EXPECT_FALSE(ParseJsonText(doc, deep, &error)) << levels;
        EXPECT_NE(error.find("nested deeper"), std::string::npos) << error;
        const std::string objects = [&] {
            std::string s;
            for (size_t i = 0; i < levels; ++i) s += "{\"a\":";
            return s + "1" + std::string(levels, '}');
        }();
        EXPECT_FALSE(ParseJsonText(doc, objects)) << levels;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(JsonDepth, EvenAPlainParseNeverRecurses) {
    // The whole project parses iteratively (RAPIDJSON_PARSE_DEFAULT_FLAGS), so
    // a reader that bypasses ParseJsonText cannot overflow the stack either:
    // 200,000 levels would need far more than a thread's stack recursively.
    const size_t levels = 200000;
    const std::string deep = std::string(levels, '[') + std::string(levels, ']');
    rapidjson::Document doc;
    doc.Parse(deep.c_str());
    EXPECT_FALSE(doc.HasParseError());
}

TEST(JsonDepth, OrdinaryTextsParseAndBracketsInStringsDoNotCount) {
    rapidjson::Document doc;
    const std::string atLimit = std::string(kJsonMaxDepth, '[') + std::string(kJsonMaxDepth, ']');
    EXPECT_TRUE(ParseJsonText(doc, atLimit));
    const std::string overLimit = "[" + atLimit + "]";
    EXPECT_FALSE(ParseJsonText(doc, overLimit));
    const std::string text = R"({"a": "[[[[{{{{ \" [[[[", "b": [1, {"c": "]]]]"}]})";
    ASSERT_TRUE(ParseJsonText(doc, text));
    EXPECT_STREQ(doc["a"].GetString(), "[[[[{{{{ \" [[[[");
    EXPECT_EQ(JsonNestingDepth(text.data(), text.size(), 100), 3u);
    std::string error;
    EXPECT_FALSE(ParseJsonText(doc, "{\"a\": ", &error));
    EXPECT_FALSE(error.empty());
}

TEST(Utf8, ValidityTable) {
    struct Case { const char* text; bool valid; };
    const Case cases[] = {
        {"", true}, {"/opt/Pix Bridge/", true}, {"/home/ana/Imágenes/照片/", true}, {"\xef\xbf\xbd", true},
        {"/tmp/\xff/", false}, {"\xc3", false}, {"\xc0\xaf", false} /* overlong "/" */,
        {"\xed\xa0\x80", false} /* surrogate */, {"\xf4\x90\x80\x80", false} /* past U+10FFFF */,
    };
    for (const Case& c : cases) EXPECT_EQ(BASUtilityString::IsValidUtf8(c.text), c.valid) << c.text;
}

}  // namespace
