// The install helper, as root, on packages this test builds with dpkg-deb.
// The helper under test is built with the test tools: stand-ins for apt-get
// and dpkg write down what they were given, and keep a copy of it.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Sha256Of(const fs::path& path) {
    const std::string data = ReadFile(path);
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), value, &size, EVP_sha256(), nullptr);
    std::ostringstream hex;
    for (unsigned int i = 0; i < size; ++i) hex << std::hex << (value[i] >> 4) << (value[i] & 15);
    return hex.str();
}

class InstallHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "the install helper runs as root only (pkexec starts it); run the tests as root to test it";
        }
        work_ = fs::temp_directory_path() / ("install_helper_" + std::to_string(getpid()));
        fs::remove_all(work_);
        fs::create_directories(work_ / "tools");
        setenv("PIXBRIDGE_TEST_TOOLS_DIR", (work_ / "tools").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("PIXBRIDGE_TEST_TOOLS_DIR");
        if (!work_.empty()) fs::remove_all(work_);
    }

    // A package named `name` in the user's folder.
    fs::path BuildPackage(const std::string& name, const std::string& version = "9.9.9") {
        const fs::path tree = work_ / ("tree-" + name + "-" + version);
        fs::create_directories(tree / "DEBIAN");
        fs::create_directories(tree / "usr/share/doc" / name);
        std::ofstream(tree / "DEBIAN/control") << "Package: " << name << "\nVersion: " << version
                                               << "\nArchitecture: all\nMaintainer: Test <test@example.invalid>\n"
                                                  "Description: an update for the install helper test\n";
        std::ofstream(tree / "usr/share/doc" / name / "README") << "version " << version << "\n";
        const fs::path deb = work_ / "user" / (name + "_" + version + "_all.deb");
        fs::create_directories(deb.parent_path());
        const std::string command = "dpkg-deb --root-owner-group --build '" + tree.string() + "' '" + deb.string() +
                                    "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return deb;
    }

    // A stand-in for `tool` that writes down its arguments, the owner and
    // mode of the package's folder, and keeps the package it was given.
    // With `swap`, it first overwrites that file, as another user would
    // swap the package while the password prompt is open.
    void StandIn(const std::string& tool, const fs::path& swap = {}) {
        const fs::path script = work_ / "tools" / tool;
        std::ofstream(script) << "#!/bin/sh\n"
                              << (swap.empty() ? "" : "printf 'swapped' > '" + swap.string() + "'\n")
                              << "for package; do :; done\n"
                              << "echo \"$(basename \"$0\") $*\" >> '" << (work_ / "record").string() << "'\n"
                              << "stat -c '%U %a' \"$(dirname \"$package\")\" >> '" << (work_ / "record").string() << "'\n"
                              << "cp \"$package\" '" << (work_ / "installed.deb").string() << "'\n";
        fs::permissions(script, fs::perms::owner_all);
    }

    int RunHelper(const fs::path& package, const std::string& sha256) {
        const std::string command =
            std::string("'") + INSTALL_HELPER + "' '" + package.string() + "' '" + sha256 + "' 2>/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Record() const { return ReadFile(work_ / "record"); }

    fs::path work_;
};

TEST_F(InstallHelperTest, InstallsItsOwnCheckedCopy) {
    const fs::path package = BuildPackage("quillmarsh-pix-bridge");
    const std::string published = ReadFile(package);
    StandIn("apt-get", package);
    StandIn("dpkg");

    ASSERT_EQ(RunHelper(package, Sha256Of(package)), 0);
    std::istringstream record(Record());
    std::string call, folderOwnerAndMode, extra;
    std::getline(record, call);
    std::getline(record, folderOwnerAndMode);
    EXPECT_FALSE(std::getline(record, extra)) << Record();
    // apt-get got root's copy in a folder of root's alone, not the user's
    // file: swapping that file meanwhile changed nothing that was installed.
    const std::string prefix = "apt-get install -y /var/tmp/pixbridge-update-";
    ASSERT_EQ(call.rfind(prefix, 0), 0u) << call;
    const fs::path copy = call.substr(call.find('/'));
    EXPECT_EQ(copy.filename(), "quillmarsh-pix-bridge.deb");
    EXPECT_EQ(folderOwnerAndMode, "root 700");
    EXPECT_EQ(ReadFile(package), "swapped");
    EXPECT_EQ(ReadFile(work_ / "installed.deb"), published);
    EXPECT_FALSE(fs::exists(copy.parent_path())) << "the copy's folder is left";

    // Without apt-get, dpkg installs it.
    fs::remove(work_ / "tools/apt-get");
    fs::remove(work_ / "record");
    const fs::path again = BuildPackage("quillmarsh-pix-bridge", "9.9.10");
    ASSERT_EQ(RunHelper(again, Sha256Of(again)), 0);
    EXPECT_EQ(Record().rfind("dpkg -i /var/tmp/pixbridge-update-", 0), 0u) << Record();
    EXPECT_EQ(ReadFile(work_ / "installed.deb"), ReadFile(again));
}

TEST_F(InstallHelperTest, RefusesAnythingButThePublishedPackageOfOurs) {
    StandIn("apt-get");
    const fs::path ours = BuildPackage("quillmarsh-pix-bridge");
    const std::string sha = Sha256Of(ours);
    const fs::path other = BuildPackage("another-package");
    const fs::path changed = work_ / "user/changed.deb";
    fs::copy_file(ours, changed);
    std::ofstream(changed, std::ios::app) << "appended after the program verified it";
    const fs::path link = work_ / "user/link.deb";
    fs::create_symlink(ours, link);
    const fs::path notADeb = work_ / "user/text.deb";
    std::ofstream(notADeb) << "not a package";

    const struct {
        const char* what;
        fs::path package;
        std::string sha256;
        int exitCode;
    } cases[] = {
        {"bytes changed after the program verified them", changed, sha, 3},
        {"a wrong SHA-256", ours, std::string(64, '0'), 3},
        {"another package, with its own SHA-256", other, Sha256Of(other), 4},
        {"not a package at all", notADeb, Sha256Of(notADeb), 4},
        {"a link to the package", link, sha, 2},
        {"a missing file", work_ / "user/none.deb", sha, 2},
        {"a SHA-256 that is not one", ours, "ab", 1},
        {"a relative path", "quillmarsh-pix-bridge_9.9.9_all.deb", sha, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunHelper(c.package, c.sha256), c.exitCode) << c.what;
        EXPECT_FALSE(fs::exists(work_ / "record")) << c.what << ": " << Record();
    }
}

}  // namespace
