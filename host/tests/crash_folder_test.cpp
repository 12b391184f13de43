// The crash report's folder and the host's two crash handlers against a
// hostile machine: another user's folders in the shared temporary folder,
// links planted where the program writes, and folders outside the report root.
#include "app/crash_handlers.h"
#include "app/log_folder.h"

#include <bedrock/bas_dbg_report.h>
#include <bedrock/bas_utility_string.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::perms Mode(const fs::path& p) { return fs::symlink_status(p).permissions() & fs::perms::all; }

uid_t Owner(const fs::path& p) {
    struct stat st{};
    lstat(p.c_str(), &st);
    return st.st_uid;
}

class CrashFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("crash_folder_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "tmp");
        fs::create_directories(dir_ / "home/Documents");
        std::ofstream(dir_ / "home/Documents/thesis.odt") << "years of work";
        savedTmp_ = getenv("TMPDIR") ? getenv("TMPDIR") : "";
        savedState_ = getenv("XDG_STATE_HOME") ? getenv("XDG_STATE_HOME") : "";
        setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
        setenv("XDG_STATE_HOME", (dir_ / "home/state").c_str(), 1);
    }
    void TearDown() override {
        BASDbgReport::SetReportRoot(u"");
        if (savedTmp_.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", savedTmp_.c_str(), 1);
        if (savedState_.empty()) unsetenv("XDG_STATE_HOME"); else setenv("XDG_STATE_HOME", savedState_.c_str(), 1);
        fs::remove_all(dir_);
    }
    std::string Real(const fs::path& p) const { return fs::canonical(p).string(); }

    fs::path dir_;
    std::string savedTmp_, savedState_;
};

TEST_F(CrashFolder, UsualPlaceIsMadePrivate) {
    const log_folder::Folders f = log_folder::MakePrivateLogFolder("20261208");
    EXPECT_EQ(f.logFolder, Real(dir_ / "tmp") + "/Quillmarsh/20261208");
    EXPECT_EQ(f.reportRoot, Real(dir_ / "tmp") + "/Quillmarsh/");
    EXPECT_TRUE(f.notes.empty());
    EXPECT_EQ(Mode(dir_ / "tmp/Quillmarsh"), fs::perms::owner_all);
    EXPECT_EQ(Mode(dir_ / "tmp/Quillmarsh/20261208"), fs::perms::owner_all);

    // A folder of ours left open (an older version made it 0755) is closed.
    fs::permissions(dir_ / "tmp/Quillmarsh", fs::perms::all);
    EXPECT_EQ(log_folder::MakePrivateLogFolder("20261208").logFolder, f.logFolder);
    EXPECT_EQ(Mode(dir_ / "tmp/Quillmarsh"), fs::perms::owner_all);
}

TEST_F(CrashFolder, PlantedDayLinkIsPassedOverAndItsTargetUntouched) {
    // Another user (or this one, tricked) made the day's folder a link into
    // the documents.
    fs::create_directories(dir_ / "tmp/Quillmarsh");
    fs::create_directory_symlink(dir_ / "home/Documents", dir_ / "tmp/Quillmarsh/20261208");
    const fs::perms before = Mode(dir_ / "home/Documents");
    const log_folder::Folders f = log_folder::MakePrivateLogFolder("20261208");
    const std::string uid = std::to_string(geteuid());
    EXPECT_EQ(f.logFolder, Real(dir_ / "tmp") + "/Quillmarsh-" + uid + "/20261208");
    EXPECT_EQ(f.notes.size(), 1u);
    EXPECT_EQ(Mode(dir_ / "home/Documents"), before);  // not even its mode changed
    EXPECT_EQ(ReadAll(dir_ / "home/Documents/thesis.odt"), "years of work");
}

TEST_F(CrashFolder, AnotherUsersFoldersAreNeverUsed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a folder of another user";
    fs::create_directories(dir_ / "tmp/Quillmarsh/20261208");
    ASSERT_EQ(chown((dir_ / "tmp/Quillmarsh").c_str(), kNobody, kNobody), 0);
    fs::permissions(dir_ / "tmp/Quillmarsh", fs::perms::all);
    // The per-user name too: the state folder in the home is left.
    fs::create_directories(dir_ / ("tmp/Quillmarsh-" + std::to_string(geteuid())));
    ASSERT_EQ(chown((dir_ / ("tmp/Quillmarsh-" + std::to_string(geteuid()))).c_str(), kNobody, kNobody), 0);
    const log_folder::Folders f = log_folder::MakePrivateLogFolder("20261208");
    EXPECT_EQ(f.logFolder, Real(dir_ / "home/state") + "/Quillmarsh/logs/20261208");
    EXPECT_EQ(f.reportRoot, Real(dir_ / "home/state") + "/Quillmarsh/logs/");
    EXPECT_EQ(f.notes.size(), 2u);
    EXPECT_EQ(Mode(dir_ / "home/state/Quillmarsh/logs/20261208"), fs::perms::owner_all);
    EXPECT_EQ(Owner(dir_ / "tmp/Quillmarsh"), kNobody);  // not taken over
}

TEST_F(CrashFolder, PlantedCrashJsonLinkIsNotFollowed) {
    const log_folder::Folders f = log_folder::MakePrivateLogFolder("20261208");
    BASDbgReport::SetReportRoot(BASUtilityString::Utf8ToUtf16(f.reportRoot));
    const fs::path victim = dir_ / "home/Documents/thesis.odt";
    fs::create_symlink(victim, fs::path(f.logFolder) / "Crash.json");

    char16_t* extra = nullptr;
    crash::ExtraFileHandler(BASUtilityString::Utf8ToUtf16(f.logFolder + "/").c_str(), &extra);
    EXPECT_EQ(extra, nullptr);  // the name is taken by a link: no summary rather than a write through it
    EXPECT_EQ(ReadAll(victim), "years of work");
    EXPECT_TRUE(fs::is_symlink(fs::path(f.logFolder) / "Crash.json"));

    // A summary left by an earlier report is replaced by a new file.
    fs::remove(fs::path(f.logFolder) / "Crash.json");
    std::ofstream(fs::path(f.logFolder) / "Crash.json") << "old";
    crash::ExtraFileHandler(BASUtilityString::Utf8ToUtf16(f.logFolder + "/").c_str(), &extra);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(BASUtilityString::Utf16ToUtf8(extra), f.logFolder + "/Crash.json");
    BASUtilityString::Free(extra);
    EXPECT_NE(ReadAll(fs::path(f.logFolder) / "Crash.json").find("\"Product\""), std::string::npos);
    EXPECT_EQ(Mode(fs::path(f.logFolder) / "Crash.json"), fs::perms::owner_read | fs::perms::owner_write);

    // Outside the report root nothing is written.
    extra = nullptr;
    crash::ExtraFileHandler(BASUtilityString::Utf8ToUtf16((dir_ / "home/Documents/").string()).c_str(), &extra);
    EXPECT_EQ(extra, nullptr);
    EXPECT_FALSE(fs::exists(dir_ / "home/Documents/Crash.json"));
}

// After the archive is made only the crashed run's own files go: its dump,
// the summary and the logs of its process. The day's other logs (an earlier
// run, a converter still writing) and everything that is not a regular file
// stay, and nothing outside the report root is touched.
TEST_F(CrashFolder, ClearingRemovesOnlyTheCrashedRunsFilesInsideTheRoot) {
    const log_folder::Folders f = log_folder::MakePrivateLogFolder("20261208");
    BASDbgReport::SetReportRoot(BASUtilityString::Utf8ToUtf16(f.reportRoot));
    const fs::path day = f.logFolder;
    std::ofstream(day / "20261208101010.dmp") << "pid 4242\nsignal 11 (SIGSEGV)\n";
    std::ofstream(day / "Crash.json") << "{}";
    const std::string log = "PixbridgeManager.host.user.log.INFO.20261208-100000.";
    std::ofstream(day / (log + "4242")) << "the crashed run";
    std::ofstream(day / (log + "42")) << "an earlier run";
    std::ofstream(day / "pixbridge-convert.host.user.log.INFO.20261208-100500.5151") << "still converting";
    std::ofstream(day / "20261207090909.zip") << "an earlier report";
    fs::create_directories(day / "kept-folder");
    fs::create_symlink(dir_ / "home/Documents/thesis.odt", day / "link.4242");  // a link named like the run's log
    // The day folder of a later report made a link to the documents.
    fs::create_directory_symlink(dir_ / "home/Documents", fs::path(f.reportRoot) / "20261209");
    std::ofstream(dir_ / "home/Documents/x.dmp") << "pid 4242\n";
    std::ofstream(dir_ / "home/Documents/notes.4242") << "mine";

    crash::RemoveCrashedRunFiles((fs::path(f.reportRoot) / "20261209/x.dmp").string());           // a link: refused
    crash::RemoveCrashedRunFiles((day / ".." / ".." / ".." / "home/Documents/x.dmp").string());  // outside: refused
    crash::RemoveCrashedRunFiles((dir_ / "home/Documents/x.dmp").string());
    EXPECT_EQ(ReadAll(dir_ / "home/Documents/notes.4242"), "mine");
    EXPECT_TRUE(fs::exists(dir_ / "home/Documents/x.dmp"));

    crash::RemoveCrashedRunFiles((day / "20261208101010.dmp").string());
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(day)) left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{log + "42", "pixbridge-convert.host.user.log.INFO.20261208-100500.5151",
                                           "20261207090909.zip", "kept-folder", "link.4242"}));
    EXPECT_EQ(ReadAll(dir_ / "home/Documents/thesis.odt"), "years of work");
}

}  // namespace
