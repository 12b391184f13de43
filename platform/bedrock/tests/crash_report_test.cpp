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

}  // namespace
