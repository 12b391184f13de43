// Start-up against hostile settings and a hostile machine: the display scale
// is kept sane, and the instance lock stops the program only when another
// copy of it really runs.
#include "app/display_scale.h"
#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;

namespace {

TEST(DpiScale, ClampedToHalfThroughFour) {
    struct Case { double stored; float want; };
    const Case cases[] = {
        {1.0, 1.0f}, {1.25, 1.25f}, {0.5, 0.5f}, {4.0, 4.0f}, {1e30, 4.0f}, {4.01, 4.0f}, {0.1, 0.5f},
        {-3.0, 0.5f}, {std::numeric_limits<double>::infinity(), 4.0f}, {-std::numeric_limits<double>::infinity(), 0.5f},
        {std::numeric_limits<double>::quiet_NaN(), 1.0f},
    };
    for (const Case& c : cases) EXPECT_EQ(display::ClampDpiScale(c.stored), c.want) << c.stored;
}

class InstanceLock : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("instance_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "run");
        fs::create_directories(dir_ / "tmp");
        fs::permissions(dir_ / "run", fs::perms::owner_all);
        Save("XDG_RUNTIME_DIR", savedRuntime_);
        Save("TMPDIR", savedTmp_);
        Save("XDG_CACHE_HOME", savedCache_);
        setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
        setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
        setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
    }
    void TearDown() override {
        Restore("XDG_RUNTIME_DIR", savedRuntime_);
        Restore("TMPDIR", savedTmp_);
        Restore("XDG_CACHE_HOME", savedCache_);
        fs::remove_all(dir_);
    }
    // The run folder without a runtime folder.
    fs::path CacheRun() const { return fs::canonical(dir_) / "cache/quillmarsh-pix-bridge/run"; }
    static void Save(const char* name, std::string& into) {
        const char* v = getenv(name);
        into = v ? std::string("=") + v : "";
    }
    static void Restore(const char* name, const std::string& saved) {
        if (saved.empty()) unsetenv(name); else setenv(name, saved.c_str() + 1, 1);
    }
    const std::string name_ = "Global_Test Pix_1.1.12";
    fs::path dir_;
    std::string savedRuntime_, savedTmp_, savedCache_;
};

TEST_F(InstanceLock, PerUserPlaces) {
    EXPECT_EQ(SingleInstance::LockPath(name_), (dir_ / "run" / (name_ + ".lock")).string());
    // Without a runtime folder (or with one that is not ours alone) a folder
    // of the program's own in the user's cache, made private; never the
    // shared temporary folder, where another user could make the name first.
    const std::string cached = (CacheRun() / (name_ + ".lock")).string();
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SingleInstance::LockPath(name_), cached);
    EXPECT_EQ(fs::status(CacheRun()).permissions() & fs::perms::all, fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (dir_ / "no-such-folder").c_str(), 1);
    EXPECT_EQ(SingleInstance::LockPath(name_), cached);
    fs::permissions(dir_ / "run", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
    EXPECT_EQ(SingleInstance::LockPath(name_), cached);
    if (geteuid() == 0) {
        fs::permissions(dir_ / "run", fs::perms::owner_all);
        ASSERT_EQ(chown((dir_ / "run").c_str(), 65534, 65534), 0);
        EXPECT_EQ(SingleInstance::LockPath(name_), cached);
    }
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

// The cache's run folder made a link (to a folder others can write): no
// lock there, no random folder instead; the program starts and says why.
TEST_F(InstanceLock, AnUnusableRunFolderMeansStartingWithoutTheLock) {
    unsetenv("XDG_RUNTIME_DIR");
    fs::create_directories(dir_ / "cache/quillmarsh-pix-bridge");
    fs::create_directories(dir_ / "tmp/shared");
    fs::create_directory_symlink(dir_ / "tmp/shared", dir_ / "cache/quillmarsh-pix-bridge/run");
    std::string problem;
    EXPECT_EQ(SingleInstance::LockPath(name_, &problem), "");
    EXPECT_NE(problem.find("link"), std::string::npos) << problem;
    SingleInstance instance(name_);
    EXPECT_TRUE(instance.IsFirst());
    EXPECT_NE(instance.Problem().find("no private folder for the instance lock"), std::string::npos) << instance.Problem();
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp/shared"));
    size_t entries = 0;
    for (auto it = fs::recursive_directory_iterator(dir_ / "tmp"); it != fs::recursive_directory_iterator(); ++it) ++entries;
    EXPECT_EQ(entries, 1u);  // only "shared": no folder of a random name
}

// A lock file with a second name: whoever made that name could hold it.
TEST_F(InstanceLock, ALockFileWithASecondLinkIsRefused) {
    const std::string path = SingleInstance::LockPath(name_);
    std::ofstream(path) << "";
    fs::create_hard_link(path, dir_ / "run/second-name");
    SingleInstance instance(name_);
    EXPECT_TRUE(instance.IsFirst());
    EXPECT_NE(instance.Problem().find("more than one link"), std::string::npos) << instance.Problem();
    fs::remove(dir_ / "run/second-name");
    SingleInstance alone(name_);
    EXPECT_TRUE(alone.Problem().empty()) << alone.Problem();
}

TEST_F(InstanceLock, OnlyAnotherRunningCopyStopsTheProgram) {
    SingleInstance first(name_);
    EXPECT_TRUE(first.IsFirst());
    EXPECT_TRUE(first.Problem().empty());
    SingleInstance second(name_);
    EXPECT_FALSE(second.IsFirst());
    EXPECT_TRUE(second.Problem().empty());
}

TEST_F(InstanceLock, AFolderAtTheLockPathDoesNotStopTheProgram) {
    fs::create_directories(SingleInstance::LockPath(name_));
    SingleInstance instance(name_);
    EXPECT_TRUE(instance.IsFirst());
    EXPECT_FALSE(instance.Problem().empty());
}

TEST_F(InstanceLock, ALinkAtTheLockPathIsNotFollowedNorItsTargetMade) {
    unsetenv("XDG_RUNTIME_DIR");  // the cache's run folder
    const fs::path target = dir_ / "victim-file";
    fs::create_symlink(target, SingleInstance::LockPath(name_));
    SingleInstance instance(name_);
    EXPECT_TRUE(instance.IsFirst());
    EXPECT_FALSE(instance.Problem().empty());
    EXPECT_FALSE(fs::exists(target));

    // A link to an existing file: the file is neither locked nor changed.
    std::ofstream(target) << "precious";
    SingleInstance again(name_);
    EXPECT_TRUE(again.IsFirst());
    EXPECT_EQ(fs::file_size(target), 8u);
}

TEST_F(InstanceLock, AnotherUsersLockDoesNotStopTheProgram) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
    unsetenv("XDG_RUNTIME_DIR");
    const std::string path = SingleInstance::LockPath(name_);
    std::ofstream(path) << "";
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    fs::permissions(path, fs::perms::all);
    // The other user even holds the lock.
    const int held = open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    SingleInstance instance(name_);
    EXPECT_TRUE(instance.IsFirst());
    EXPECT_NE(instance.Problem().find("not a file of this user"), std::string::npos) << instance.Problem();
    close(held);
}

}  // namespace
