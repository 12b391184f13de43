// Settings stores: what is written is read back, a damaged file neither
// crashes nor gets overwritten behind the user's back, and a save is atomic.
#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_string.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The copies of a damaged store kept beside it: "<name>.corrupt-<date>".
std::vector<fs::path> Kept(const fs::path& dir, const std::string& name) {
    std::vector<fs::path> kept;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename().string().rfind(name + ".corrupt-", 0) == 0) kept.push_back(e.path());
    }
    return kept;
}

class Store : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("store_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::u16string Path(const char* name) const { return BASUtilityString::Utf8ToUtf16((dir_ / name).string()); }
    fs::path dir_;
};

TEST_F(Store, RoundTripThroughTheFile) {
    EXPECT_FALSE(BASUserDefaults::InitUserDefaults("rt", Path("rt.json")));  // no file yet
    BASUserDefaults* store = BASUserDefaults::GetUserDefaults("rt");
    ASSERT_NE(store, nullptr);
    store->SetString("CONVERT_CHOOSE_FOLDER_KEY", "/home/ana/Fotos");
    store->SetString("CONVERT_CHOOSE_FOLDER_KEY", "/home/ana/Imágenes");  // replaced, not duplicated
    store->SetInt("count", 7);
    ASSERT_TRUE(store->WriteAll());

    ASSERT_TRUE(BASUserDefaults::InitUserDefaults("rt2", Path("rt.json")));
    BASUserDefaults* again = BASUserDefaults::GetUserDefaults("rt2");
    EXPECT_TRUE(again->IsOk());
    EXPECT_STREQ(again->GetString("CONVERT_CHOOSE_FOLDER_KEY"), "/home/ana/Imágenes");
    EXPECT_EQ(again->GetInt("count"), 7);
    EXPECT_EQ(again->GetString("count"), nullptr);   // wrong type: absent, not garbage
    EXPECT_EQ(again->GetInt("missing", -3), -3);
    EXPECT_FALSE(again->HasMember("missing"));
}

TEST_F(Store, NumbersColoursAndNestedValues) {
    std::ofstream(dir_ / "o.json") << R"({"DPI": 1.5, "color:a": 16777215, "color:b": "#1A2b3C",
        "color:bad": "#12345", "manifest": {"windows::version": 1}})";
    ASSERT_TRUE(BASUserDefaults::InitUserDefaults("o", Path("o.json")));
    BASUserDefaults* s = BASUserDefaults::GetUserDefaults("o");
    EXPECT_DOUBLE_EQ(s->GetDouble("DPI"), 1.5);
    EXPECT_EQ(s->GetRGB("color:a"), 0xFFFFFFu);
    EXPECT_EQ(s->GetRGB("color:b"), 0x1A2B3Cu);
    EXPECT_EQ(s->GetRGB("color:bad", 0x123456u), 0x123456u);
    const rapidjson::Value* manifest = s->GetValueObject("manifest");
    ASSERT_NE(manifest, nullptr);
    EXPECT_EQ((*manifest)["windows::version"].GetInt(), 1);
}

TEST_F(Store, CorruptFileOpensEmptyAndStaysUntilWriteAll) {
    const std::string damaged = "{\"DPI\": 1.25, \"color";
    std::ofstream(dir_ / "bad.json") << damaged;
    EXPECT_FALSE(BASUserDefaults::InitUserDefaults("bad", Path("bad.json")));
    BASUserDefaults* s = BASUserDefaults::GetUserDefaults("bad");
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->IsOk());
    EXPECT_FALSE(s->HasMember("DPI"));
    EXPECT_EQ(s->State(), BASUserDefaults::LoadState::Corrupt);
    s->SetString("k", "v");
    EXPECT_EQ(ReadAll(dir_ / "bad.json"), damaged);  // only WriteAll replaces it
    ASSERT_TRUE(s->WriteAll());
    EXPECT_TRUE(s->IsOk());
    EXPECT_NE(ReadAll(dir_ / "bad.json").find("\"k\""), std::string::npos);
    // ... and the damaged file is kept beside it.
    ASSERT_EQ(Kept(dir_, "bad.json").size(), 1u);
    EXPECT_EQ(ReadAll(Kept(dir_, "bad.json")[0]), damaged);
    ASSERT_TRUE(s->WriteAll());  // kept once, not again at every save
    EXPECT_EQ(Kept(dir_, "bad.json").size(), 1u);

    // A JSON text that is not an object is as unusable as a broken one.
    std::ofstream(dir_ / "arr.json") << "[1,2]";
    EXPECT_FALSE(BASUserDefaults::InitUserDefaults("arr", Path("arr.json")));
}

TEST_F(Store, WriteAllReplacesAtomicallyAndLeavesNoTemporaryFiles) {
    std::ofstream(dir_ / "a.json") << "{\"old\": 1}";
    ASSERT_TRUE(BASUserDefaults::InitUserDefaults("atomic", Path("a.json")));
    BASUserDefaults* s = BASUserDefaults::GetUserDefaults("atomic");
    // A reader holding the old file keeps reading the old contents: the save
    // puts a new file in place instead of truncating this one.
    std::ifstream held(dir_ / "a.json");
    s->SetString("new", std::string(100000, 'x').c_str());
    ASSERT_TRUE(s->WriteAll());
    std::string oldText((std::istreambuf_iterator<char>(held)), std::istreambuf_iterator<char>());
    EXPECT_EQ(oldText, "{\"old\": 1}");
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir_)) { (void)e; ++files; }
    EXPECT_EQ(files, 1u);

    // A store whose folder cannot exist fails to save, and says so.
    std::ofstream(dir_ / "file") << "x";
    BASUserDefaults::InitUserDefaults("nowhere", Path("file/sub/s.json"));
    EXPECT_FALSE(BASUserDefaults::GetUserDefaults("nowhere")->WriteAll());
}

TEST_F(Store, StandardStoreLivesUnderBrandAndProduct) {
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    ASSERT_TRUE(BASUserDefaults::InitStandardUserDefaults("Quillmarsh", "Quillmarsh Pix Bridge"));
    BASUserDefaults* s = BASUserDefaults::StandardUserDefaults();
    ASSERT_NE(s, nullptr);
    s->SetString("DPI", "0");
    ASSERT_TRUE(s->WriteAll());
    EXPECT_TRUE(fs::exists(dir_ / "Quillmarsh/Quillmarsh Pix Bridge/UserDefaults.json"));
}

// Hostile stores: deep nesting, a FIFO, an oversized or unreadable file.
TEST_F(Store, DeeplyNestedStoreOpensEmptyFastAndIsKeptAtTheFirstSave) {
    const std::string deep = "{\"DPI\": " + std::string(3000000, '[') + std::string(3000000, ']') + "}";
    std::ofstream(dir_ / "UserDefaults.json") << deep;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(BASUserDefaults::InitUserDefaults("deep", Path("UserDefaults.json")));
    BASUserDefaults* s = BASUserDefaults::GetUserDefaults("deep");
    EXPECT_EQ(s->State(), BASUserDefaults::LoadState::Corrupt);
    EXPECT_NE(s->LoadError().find("nested deeper"), std::string::npos) << s->LoadError();
    s->SetInt("count", 1);
    ASSERT_TRUE(s->WriteAll());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(Kept(dir_, "UserDefaults.json").size(), 1u);
    EXPECT_EQ(ReadAll(Kept(dir_, "UserDefaults.json")[0]), deep);
    EXPECT_NE(ReadAll(dir_ / "UserDefaults.json").find("\"count\""), std::string::npos);
}

TEST_F(Store, UnreadableStoresAreLeftAlone) {
    // A FIFO would block the open; a huge file would be read into memory.
    ASSERT_EQ(mkfifo((dir_ / "fifo.json").c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(BASUserDefaults::InitUserDefaults("fifo", Path("fifo.json")));
    BASUserDefaults* fifo = BASUserDefaults::GetUserDefaults("fifo");
    EXPECT_EQ(fifo->State(), BASUserDefaults::LoadState::Unreadable);
    fifo->SetString("k", "v");
    EXPECT_FALSE(fifo->WriteAll());
    EXPECT_TRUE(fs::is_fifo(dir_ / "fifo.json"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    {
        std::ofstream big(dir_ / "big.json");
        big << "{\"keep\": 1}";
    }
    fs::resize_file(dir_ / "big.json", 20 * 1024 * 1024);
    EXPECT_FALSE(BASUserDefaults::InitUserDefaults("big", Path("big.json")));
    BASUserDefaults* big = BASUserDefaults::GetUserDefaults("big");
    EXPECT_EQ(big->State(), BASUserDefaults::LoadState::Unreadable);
    EXPECT_FALSE(big->WriteAll());
    EXPECT_EQ(fs::file_size(dir_ / "big.json"), 20u * 1024 * 1024);

    // Permissions only stop a user who is not root.
    if (geteuid() != 0) {
        std::ofstream(dir_ / "locked.json") << "{\"DPI\": 2}";
        fs::permissions(dir_ / "locked.json", fs::perms::none);
        EXPECT_FALSE(BASUserDefaults::InitUserDefaults("locked", Path("locked.json")));
        BASUserDefaults* locked = BASUserDefaults::GetUserDefaults("locked");
        EXPECT_EQ(locked->State(), BASUserDefaults::LoadState::Unreadable);
        EXPECT_FALSE(locked->WriteAll());
        fs::permissions(dir_ / "locked.json", fs::perms::owner_read);
        EXPECT_EQ(ReadAll(dir_ / "locked.json"), "{\"DPI\": 2}");
    }
    EXPECT_TRUE(Kept(dir_, "fifo.json").empty());
    EXPECT_TRUE(Kept(dir_, "big.json").empty());
}

}  // namespace
