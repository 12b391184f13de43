// Module loading reports its failures as data: which module of the manifest
// did not load and why, so the host can tell the user instead of showing an
// empty window. The manifest's names never reach outside the plug-ins folder.
#include "service/manifest_windows.h"

#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_string.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

class ModuleLoading : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("module_loading_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "Plugins");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::vector<manifest::LoadFailure> LoadWith(const std::string& manifestText, bool write = true) {
        if (write) std::ofstream(dir_ / "ApplicationManifest.json") << manifestText;
        BASUserDefaults::InitUserDefaults("ApplicationManifest", U((dir_ / "ApplicationManifest.json").string()));
        return manifest::LoadModulesFrom(U((dir_ / "Plugins").string() + "/"));
    }
    static std::string Modules(const std::string& entries) {
        return R"({"manifest": {"windows::version": 1, "application": {"modules": [)" + entries + "]}}}";
    }
    fs::path dir_;
};

TEST_F(ModuleLoading, MissingCorruptAndUnreadableManifestsAreReported) {
    auto failures = LoadWith("", false);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].module, "ApplicationManifest.json");
    EXPECT_NE(failures[0].reason.find("missing"), std::string::npos) << failures[0].reason;

    failures = LoadWith("{\"manifest\": ");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].reason.find("not a JSON object"), std::string::npos) << failures[0].reason;

    fs::remove(dir_ / "ApplicationManifest.json");
    ASSERT_EQ(mkfifo((dir_ / "ApplicationManifest.json").c_str(), 0600), 0);
    failures = LoadWith("", false);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].reason.find("cannot be read"), std::string::npos) << failures[0].reason;
    fs::remove(dir_ / "ApplicationManifest.json");

    failures = LoadWith(R"({"manifest": {"windows::version": 2}})");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].reason.find("windows::version"), std::string::npos) << failures[0].reason;
}

TEST_F(ModuleLoading, EveryModuleThatFailsIsNamedWithItsReason) {
    fs::create_directories(dir_ / "Plugins/Module.Empty");
    fs::create_directories(dir_ / "Plugins/Module.Broken/1.0.0");
    std::ofstream(dir_ / "Plugins/Module.Broken/1.0.0/plugin.load") << "{\"path\": ";
    std::ofstream(dir_ / "Plugins/Module.File") << "not a folder";
    const auto failures = LoadWith(Modules(R"({"windows:name": "Module.Missing"}, {"windows:name": "Module.Empty"},
        {"windows:name": "Module.Broken"}, {"windows:name": "Module.File"}, {"windows:name": "../../outside"},
        {"windows:name": ""})"));
    ASSERT_EQ(failures.size(), 6u);
    EXPECT_EQ(failures[0].module, "Module.Missing");
    EXPECT_NE(failures[0].reason.find("cannot read the folder"), std::string::npos) << failures[0].reason;
    EXPECT_EQ(failures[1].module, "Module.Empty");
    EXPECT_NE(failures[1].reason.find("no version folder"), std::string::npos) << failures[1].reason;
    EXPECT_EQ(failures[2].module, "Module.Broken");
    EXPECT_NE(failures[2].reason.find("1.0.0/plugin.load"), std::string::npos) << failures[2].reason;
    EXPECT_EQ(failures[3].module, "Module.File");
    EXPECT_EQ(failures[4].module, "../../outside");
    EXPECT_NE(failures[4].reason.find("no single folder"), std::string::npos) << failures[4].reason;
    EXPECT_EQ(failures[5].module, "(unnamed)");
}

TEST(ModuleNames, OnlyOneFolderInsidePlugins) {
    struct Case { const char* name; bool plain; };
    const Case cases[] = {
        {"Module.Photo", true}, {"Module.Workbench", true}, {"", false}, {".", false}, {"..", false},
        {"../x", false}, {"a/b", false}, {"/etc", false}, {"x\xff", false},
    };
    for (const Case& c : cases) EXPECT_EQ(manifest::IsPlainModuleName(c.name), c.plain) << c.name;
    EXPECT_FALSE(manifest::IsPlainModuleName(std::string("a\0b", 3)));
    // The test program lies in a folder with a UTF-8 path.
    EXPECT_TRUE(manifest::InstallFolderIsValidUtf8());
}

}  // namespace
