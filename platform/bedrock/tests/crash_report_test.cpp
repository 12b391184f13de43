// The report helper packs a crashed run's folder and then lets the handler
// clear it: it must do so only for a real dump in the report folder.
#include <bedrock/bas_dbg_report.h>
#include <bedrock/bas_utility_string.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

int handled = 0;
void OnCrash(const char16_t*) { ++handled; }
void OnExtra(const char16_t* folder, char16_t** extra) {
    const std::string path = BASUtilityString::Utf16ToUtf8(folder) + "Crash.json";
    std::ofstream(path) << "{}";
    *extra = BASUtilityString::ConvertUtf8ToUnicode(path.c_str());
}

class CrashReport : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("reports_" + std::to_string(getpid()));
        day_ = root_ / "20261208";
        fs::create_directories(day_);
        fs::permissions(root_, fs::perms::owner_all);
        std::ofstream(day_ / "20261208101010.dmp") << "signal 11 (SIGSEGV)\n";
        std::ofstream(day_ / "PixbridgeManager.INFO") << "log\n";
        BASDbgReport::SetReportRoot(BASUtilityString::Utf8ToUtf16(root_.string() + "/"));
        handled = 0;
    }
    void TearDown() override { fs::remove_all(root_); }
    static int Run(const fs::path& dump) {
        return BASDbgReport::RunCrashReport(BASUtilityString::Utf8ToUtf16(dump.string()), &OnCrash, &OnExtra);
    }
    fs::path root_, day_;
};

TEST_F(CrashReport, PacksTheFolderThenCallsTheHandler) {
    EXPECT_EQ(Run(day_ / "20261208101010.dmp"), 0);
    EXPECT_EQ(handled, 1);
    ASSERT_TRUE(fs::exists(day_ / "20261208101010.zip"));
    EXPECT_GT(fs::file_size(day_ / "20261208101010.zip"), 100u);
    EXPECT_TRUE(fs::exists(day_ / "Crash.json"));
}

TEST_F(CrashReport, AnythingButARealDumpInTheReportFolderIsRefused) {
    const fs::path elsewhere = fs::temp_directory_path() / ("not_reports_" + std::to_string(getpid()));
    fs::create_directories(elsewhere);
    std::ofstream(elsewhere / "x.dmp") << "x";
    std::ofstream(elsewhere / "precious.txt") << "keep";
    EXPECT_EQ(Run(elsewhere / "x.dmp"), 1);                   // outside the report folder
    EXPECT_EQ(Run(day_ / "PixbridgeManager.INFO"), 1);        // not a dump
    fs::create_symlink(elsewhere / "x.dmp", day_ / "link.dmp");
    EXPECT_EQ(Run(day_ / "link.dmp"), 1);                     // a link, not a file
    EXPECT_EQ(Run(day_ / "missing.dmp"), 1);
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(fs::exists(elsewhere / "precious.txt"));
    EXPECT_FALSE(fs::exists(elsewhere / "x.zip"));
    fs::remove_all(elsewhere);
}

// The attacks of issue 14: a dump path that leaves the root through "..",
// through a linked folder inside the root, a root open to everyone, no root.
TEST_F(CrashReport, OnlyTheRealFolderInsideThePrivateRootIsActedOn) {
    const fs::path victim = fs::temp_directory_path() / ("victim_" + std::to_string(getpid()));
    fs::create_directories(victim);
    std::ofstream(victim / "x.dmp") << "x";
    std::ofstream(victim / "thesis.odt") << "years of work";

    // ".." out of the root, spelt from inside it.
    const fs::path dotted = day_ / ".." / ".." / victim.filename() / "x.dmp";
    EXPECT_EQ(Run(dotted), 1);
    // A folder inside the root that is a link to the victim's folder.
    fs::create_symlink(victim, root_ / "20261209");
    EXPECT_EQ(Run(root_ / "20261209" / "x.dmp"), 1);
    // A dump that is a link, even to a file inside the root.
    fs::create_symlink(day_ / "20261208101010.dmp", day_ / "alias.dmp");
    EXPECT_EQ(Run(day_ / "alias.dmp"), 1);
    EXPECT_EQ(handled, 0);
    EXPECT_FALSE(fs::exists(victim / "x.zip"));
    EXPECT_FALSE(fs::exists(victim / "Crash.json"));

    // A root that others may write to could hold their links: no report.
    fs::permissions(root_, fs::perms::owner_all | fs::perms::others_all);
    EXPECT_EQ(Run(day_ / "20261208101010.dmp"), 1);
    fs::permissions(root_, fs::perms::owner_all);
    // No root at all: nothing is reported.
    BASDbgReport::SetReportRoot(u"");
    EXPECT_EQ(Run(day_ / "20261208101010.dmp"), 1);
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(BASDbgReport::ResolveInsideReportRoot(day_.string()), "");
    BASDbgReport::SetReportRoot(BASUtilityString::Utf8ToUtf16(root_.string() + "/"));

    // The real one still works, through a spelling with "." and "//".
    EXPECT_EQ(Run(root_ / "." / "20261208" / "" / "20261208101010.dmp"), 0);
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(fs::exists(victim / "thesis.odt"));
    EXPECT_EQ(fs::status(day_ / "20261208101010.zip").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(BASDbgReport::ResolveInsideReportRoot(day_.string()), day_.string() + "/");
    EXPECT_EQ(BASDbgReport::ResolveInsideReportRoot((root_ / "20261209").string()), "");
    fs::remove_all(victim);
}

TEST_F(CrashReport, TheArchiveNeverWritesThroughALink) {
    const fs::path victim = fs::temp_directory_path() / ("zip_victim_" + std::to_string(getpid()));
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, day_ / "20261208101010.zip");
    EXPECT_EQ(Run(day_ / "20261208101010.dmp"), 1);  // the name is taken: no archive, no clearing
    EXPECT_EQ(handled, 0);
    std::ifstream in(victim);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "precious");
    fs::remove(victim);
}

}  // namespace
