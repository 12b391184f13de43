// Text, version, size and file-name rules that users see the results of.
#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <vector>
#include <bedrock/bas_utility_app.h>

namespace fs = std::filesystem;

namespace {

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

TEST(Utf, RoundTripAndInvalidInput) {
    const std::string text = "Fotos 2019 — 照片 😀 été";
    EXPECT_EQ(BASUtilityString::Utf16ToUtf8(U(text)), text);
    EXPECT_EQ(U("😀").size(), 2u);  // a surrogate pair

    char16_t* wide = BASUtilityString::ConvertUtf8ToUnicode("a\xff" "b\xe2\x82");  // stray byte, cut sequence
    EXPECT_EQ(std::u16string(wide), (std::u16string{u'a', 0xFFFD, u'b', 0xFFFD}));
    BASUtilityString::Free(wide);
    char* back = BASUtilityString::ConvertUnicodeToUtf8(u"IMG_0001.HEIC");
    EXPECT_STREQ(back, "IMG_0001.HEIC");
    BASUtilityString::Free(back);
    char16_t* empty = BASUtilityString::ConvertUtf8ToUnicode(nullptr);
    EXPECT_EQ(empty[0], 0);
    BASUtilityString::Free(empty);
}

TEST(Format, TheConversionsTheProgramUses) {
    EXPECT_EQ(BASUtilityString::Format("%I64d", static_cast<long long>(8)), "8");
    EXPECT_EQ(BASUtilityString::Format("%s(%lld/%lld) ", "Loading", 3LL, 10LL), "Loading(3/10) ");
    EXPECT_EQ(BASUtilityString::Format("%.2f%%", 12.345), "12.35%");
    EXPECT_EQ(BASUtilityString::Format("%04d-%02d", 2019, 7), "2019-07");
    EXPECT_EQ(BASUtilityString::Format(u"Total: %d photos (%s)", 12, u"3.50 MB"), u"Total: 12 photos (3.50 MB)");
    EXPECT_EQ(BASUtilityString::Format(u"%s 的新版本", u"Quillmarsh Pix Bridge"), u"Quillmarsh Pix Bridge 的新版本");
    EXPECT_EQ(BASUtilityString::Format(u"%5s|%-3d|", u"ab", 7), u"   ab|7  |");
    EXPECT_EQ(BASUtilityString::Format("%s", static_cast<const char*>(nullptr)), "(null)");
    // A format cut short after '%' stops instead of reading arguments it lacks.
    EXPECT_EQ(BASUtilityString::Format("100%"), "100");
}

TEST(CompareVersion, NumericNotTextual) {
    struct Case { const char* a; const char* b; int want; };
    const Case cases[] = {
        {"1.1.12", "1.1.9", 1}, {"1.1.9", "1.1.12", -1}, {"1.2", "1.2.0", 0}, {"2.0.0", "10.0.0", -1},
        {"1.0.0", "1.0.0", 0},  {"", "0", 0},            {"1.10", "1.9.9", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(BASUtilityString::CompareVersion(c.a, c.b), c.want) << c.a << " vs " << c.b;
}

TEST(SizeText, CommonDesktopStyle) {
    EXPECT_EQ(BASUtilityFile::ZLGetFormatSizeFromBytes(0), u"0 B");
    EXPECT_EQ(BASUtilityFile::ZLGetFormatSizeFromBytes(1023), u"1023 B");
    EXPECT_EQ(BASUtilityFile::ZLGetFormatSizeFromBytes(1024), u"1.00 KB");
    EXPECT_EQ(BASUtilityFile::ZLGetFormatSizeFromBytes(1572864), u"1.50 MB");
    EXPECT_EQ(BASUtilityFile::ZLGetFormatSizeFromBytes(int64_t{5} << 30), u"5.00 GB");
}

TEST(NewName, FirstFreeNumberedName) {
    const fs::path dir = fs::temp_directory_path() / ("newname_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "a.b");
    auto wanted = [&](const std::string& name) { return U((dir / name).string()); };
    auto pick = [&](const std::string& name) {
        char16_t* p = BASUtilityFile::GetFilePathNewName(wanted(name).c_str());
        std::u16string out(p);
        BASUtilityString::Free(p);
        return out;
    };
    EXPECT_EQ(pick("IMG_1.JPG"), wanted("IMG_1.JPG"));
    std::ofstream(dir / "IMG_1.JPG") << "x";
    EXPECT_EQ(pick("IMG_1.JPG"), wanted("IMG_1 (1).JPG"));
    std::ofstream(dir / "IMG_1 (1).JPG") << "x";
    EXPECT_EQ(pick("IMG_1.JPG"), wanted("IMG_1 (2).JPG"));
    // The dot of a folder name is not an extension.
    std::ofstream(dir / "a.b/noext") << "x";
    EXPECT_EQ(pick("a.b/noext"), wanted("a.b/noext (1)"));
    EXPECT_EQ(BASUtilityFile::GetFileSize(wanted("IMG_1.JPG")), 1);
    EXPECT_EQ(BASUtilityFile::GetFileSize(wanted("missing")), 0);
    EXPECT_TRUE(BASUtilityFile::IsFileExist(wanted("IMG_1.JPG")));
    EXPECT_FALSE(BASUtilityFile::IsFileExist(u""));
    fs::remove_all(dir);
}

TEST(TaskIds, UniqueAcrossThreads) {
    std::vector<std::vector<uint64_t>> perThread(4);
    std::vector<std::thread> threads;
    for (auto& ids : perThread) {
        threads.emplace_back([&ids] {
            for (int i = 0; i < 5000; ++i) ids.push_back(BASUtilityApp::GetTaskId());
        });
    }
    for (auto& t : threads) t.join();
    std::set<uint64_t> all;
    for (const auto& ids : perThread) all.insert(ids.begin(), ids.end());
    EXPECT_EQ(all.size(), 20000u);
}

TEST(Folders, TrailingSlashAndEnvironment) {
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(BASUtilitySys::GetTempDir(), u"/var/tmp/");
    unsetenv("TMPDIR");
    EXPECT_EQ(BASUtilitySys::GetTempDir(), u"/tmp/");
    setenv("XDG_CONFIG_HOME", "/srv/cfg", 1);
    EXPECT_EQ(BASUtilitySys::GetAppDataDir(), u"/srv/cfg/");
    unsetenv("XDG_CONFIG_HOME");
    const std::u16string dir = BASUtilitySys::GetAppDataDir();
    EXPECT_EQ(dir.back(), u'/');
    EXPECT_EQ(BASUtilitySys::GetNowDateTime("%Y").size(), 4u);
}

}  // namespace
