// The update client against a server on loopback: what a check finds, which
// feeds and URLs it refuses, and that a download leaves a file only when it
// is complete and verified.
#include "loopback_http_server.h"

#include <refresh/lu_refresh.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

constexpr const char* kFeedPath = "/Quillmarsh/Quillmarsh%20Pix%20Bridge/update.xml";

std::string Entry(const std::string& version, const std::string& path, const std::string& md5,
                  const std::string& lines = "", const std::string& sha256 = std::string(64, 'e')) {
    return "<update><version>" + version + "</version><path>" + path + "</path><md5>" + md5 + "</md5><sha256>" +
           sha256 + "</sha256><description>" + lines + "</description></update>";
}

std::string Feed(const std::string& entries) { return "<?xml version=\"1.0\"?>\n<updates>" + entries + "</updates>"; }

struct ListDeleter {
    void operator()(LUUpdateData* list) const { LUFreeLUUpdateData(list); }
};
using List = std::unique_ptr<LUUpdateData, ListDeleter>;

class RefreshTest : public ::testing::Test {
protected:
    void SetUp() override {
        cache_ = fs::temp_directory_path() / ("refresh_test_" + std::to_string(getpid()));
        fs::remove_all(cache_);
        fs::create_directories(cache_);
        setenv("XDG_CACHE_HOME", cache_.c_str(), 1);
        root_ = server_.Url("/");
    }
    void TearDown() override { fs::remove_all(cache_); }

    int32_t Check(List& list, const char* version = "1.1.12") {
        LUCheckRequest request{root_.c_str(), "Quillmarsh", "Quillmarsh Pix Bridge", version, 0, 0};
        LUUpdateData* raw = nullptr;
        const int32_t code = LUCheckForUpdate(&raw, &request);
        list.reset(raw);
        return code;
    }

    void ServeFeed(const std::string& body) { server_.Serve(kFeedPath, {200, body}); }

    // Every file left in the download folder, temporary ones included.
    std::vector<std::string> CachedFiles() const {
        std::vector<std::string> names;
        const fs::path folder = cache_ / "quillmarsh-pix-bridge" / "updates";
        if (!fs::exists(folder)) return names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        return names;
    }

    fs::path cache_;
    std::string root_;
    LoopbackHttpServer server_;
};

TEST_F(RefreshTest, CheckListsOnlyNewerVersionsNewestFirst) {
    const std::string md5(32, 'A');
    ServeFeed(Feed(Entry("1.1.12", "a.deb", md5) + Entry("1.2.0", "pkg/b.deb", md5, "<line>{en}</line><line> Faster </line>") +
                   Entry("1.10.1", "https://cdn.example/c.deb", md5) + Entry("0.9", "d.deb", md5)));
    List list;
    ASSERT_EQ(Check(list), LU_OK);
    EXPECT_EQ(server_.LastTarget(), std::string(kFeedPath) + "?version=1.1.12&type=0");

    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->version, "1.10.1");
    EXPECT_STREQ(list->remotePath, "https://cdn.example/c.deb");
    EXPECT_EQ(list->md5, std::string(32, 'a'));
    EXPECT_EQ(list->sha256, std::string(64, 'e'));
    const LUUpdateData* second = list->next;
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->version, "1.2.0");
    EXPECT_EQ(std::string(second->remotePath), server_.Url("/Quillmarsh/Quillmarsh%20Pix%20Bridge/pkg/b.deb"));
    ASSERT_NE(second->descriptions, nullptr);
    EXPECT_STREQ(second->descriptions->text, "{en}");
    EXPECT_STREQ(second->descriptions->next->text, "Faster");
    EXPECT_EQ(second->next, nullptr);

    EXPECT_EQ(Check(list, "1.10.1"), LU_NO_NEWER_VERSION);
    EXPECT_EQ(list, nullptr);
}

TEST_F(RefreshTest, BrokenOrHostileFeedsFailCleanly) {
    const std::string md5(32, 'b');
    const std::string bomb =
        "<?xml version=\"1.0\"?><!DOCTYPE updates [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
        "<updates><update><version>9.0</version><path>&b;</path><md5>" + md5 + "</md5></update></updates>";
    const struct {
        const char* what;
        std::string body;
        int32_t code;
    } cases[] = {
        {"not XML", "Service Unavailable, try later", LU_BAD_FEED},
        {"HTML page", "<html><body>hello</body></html>", LU_BAD_FEED},
        {"entity expansion", bomb, LU_BAD_FEED},
        {"external entity", "<!DOCTYPE u SYSTEM \"file:///etc/passwd\"><updates/>", LU_BAD_FEED},
        {"no md5", Feed("<update><version>2.0</version><path>x.deb</path></update>"), LU_BAD_FEED},
        {"short md5", Feed(Entry("2.0", "x.deb", "abc")), LU_BAD_FEED},
        {"no sha256", Feed("<update><version>2.0</version><path>x.deb</path><md5>" + md5 + "</md5></update>"), LU_BAD_FEED},
        {"bad version", Feed(Entry("2.0beta", "x.deb", md5)), LU_BAD_FEED},
        {"huge line", Feed(Entry("2.0", "x.deb", md5, "<line>" + std::string(10000, 'x') + "</line>")), LU_BAD_FEED},
        {"over 1 MB", Feed(std::string(1100000, ' ')), LU_TOO_LARGE},
    };
    for (const auto& c : cases) {
        ServeFeed(c.body);
        List list;
        EXPECT_EQ(Check(list), c.code) << c.what;
        EXPECT_EQ(list, nullptr) << c.what;
    }
    server_.Serve(kFeedPath, {500, "oops"});
    List list;
    EXPECT_EQ(Check(list), LU_HTTP_ERROR);
}

TEST_F(RefreshTest, OnlyHttpsOrLoopbackAndCheckedRedirects) {
    List list;
    // The server is down: nothing listens on its port any more.
    {
        LoopbackHttpServer gone;
        root_ = gone.Url("/");
        gone.Stop();
        EXPECT_EQ(Check(list), LU_NETWORK_ERROR);
        EXPECT_EQ(list, nullptr);
    }
    // Plain HTTP to another machine is never tried.
    root_ = "http://updates.example/";
    EXPECT_EQ(Check(list), LU_URL_REFUSED);
    root_ = "ftp://127.0.0.1/";
    EXPECT_EQ(Check(list), LU_URL_REFUSED);
    root_ = "updates.example";
    EXPECT_EQ(Check(list), LU_BAD_ARGUMENT);
    root_ = server_.Url("/");

    // A redirect to plain HTTP elsewhere is refused before it is followed ...
    server_.Serve(kFeedPath, {302, "", {{"Location", "http://updates.example/update.xml"}}});
    EXPECT_EQ(Check(list), LU_URL_REFUSED);
    // ... one on loopback is followed, and a loop ends.
    server_.Serve(kFeedPath, {301, "", {{"Location", "/moved.xml"}}});
    server_.Serve("/moved.xml", {200, Feed(Entry("3.0", "x.deb", std::string(32, 'c')))});
    EXPECT_EQ(Check(list), LU_OK);
    server_.Serve("/moved.xml", {302, "", {{"Location", "/moved.xml"}}});
    EXPECT_EQ(Check(list), LU_URL_REFUSED);
}

TEST_F(RefreshTest, DownloadKeepsOnlyAVerifiedFile) {
    const std::string package(300000, 'p');
    // A package URL without a ".deb" name still gives the package tool one.
    server_.Serve("/pkg/latest", {200, package, {}, 65536, 0});
    const std::string url = server_.Url("/pkg/latest?os=debian");
    std::string md5 = Md5Hex(package);
    std::string sha = Sha256Hex(package);
    LUUpdateData update{};
    update.version = const_cast<char*>("2.0");
    update.remotePath = const_cast<char*>(url.c_str());
    update.md5 = md5.data();
    update.sha256 = sha.data();

    // What a download killed earlier left: removed by the next one.
    const fs::path folder = cache_ / "quillmarsh-pix-bridge/updates";
    fs::create_directories(folder);
    std::ofstream(folder / ".pixbridge_1.1.0_amd64.deb.part-123") << "half a package";

    struct Seen {
        double total = 0, now = 0;
    } seen;
    auto record = [](void* context, double total, double now) -> int32_t {
        static_cast<Seen*>(context)->total = total;
        static_cast<Seen*>(context)->now = now;
        return 0;
    };
    ASSERT_EQ(LUDownloadUpdate(&update, record, &seen), LU_OK);
    ASSERT_NE(update.localPath, nullptr);
    const std::string path = update.localPath;
    free(update.localPath);
    update.localPath = nullptr;
    EXPECT_EQ(fs::path(path), folder / "latest.deb");
    EXPECT_EQ(CachedFiles(), std::vector<std::string>{"latest.deb"});
    EXPECT_EQ(fs::file_size(path), package.size());
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(seen.total, package.size());
    EXPECT_EQ(seen.now, package.size());
    // The same package again replaces the first.
    ASSERT_EQ(LUDownloadUpdate(&update, nullptr, nullptr), LU_OK);
    free(update.localPath);
    update.localPath = nullptr;
    EXPECT_EQ(CachedFiles(), std::vector<std::string>{"latest.deb"});
    fs::remove(path);

    // A wrong MD5, a wrong SHA-256, a missing file, a cancel: no file at all.
    md5[0] = md5[0] == '0' ? '1' : '0';
    EXPECT_EQ(LUDownloadUpdate(&update, nullptr, nullptr), LU_DIGEST_MISMATCH);
    EXPECT_TRUE(CachedFiles().empty());
    md5 = Md5Hex(package);
    update.md5 = md5.data();
    sha[0] = sha[0] == '0' ? '1' : '0';
    EXPECT_EQ(LUDownloadUpdate(&update, nullptr, nullptr), LU_DIGEST_MISMATCH);
    EXPECT_TRUE(CachedFiles().empty());
    sha = Sha256Hex(package);
    update.sha256 = sha.data();

    const std::string missing = server_.Url("/pkg/none.deb");
    update.remotePath = const_cast<char*>(missing.c_str());
    EXPECT_EQ(LUDownloadUpdate(&update, nullptr, nullptr), LU_HTTP_ERROR);
    EXPECT_EQ(update.localPath, nullptr);
    EXPECT_TRUE(CachedFiles().empty());

    // While it is written the file has no name: a program killed now leaves
    // nothing in the folder.
    server_.Serve("/pkg/slow.deb", {200, package, {}, 4096, 20});
    const std::string slow = server_.Url("/pkg/slow.deb");
    update.remotePath = const_cast<char*>(slow.c_str());
    struct PartWay {
        fs::path folder;
        int calls = 0;
        bool namedWhileWritten = false;
    } partWay{folder};
    auto cancelPartWay = [](void* context, double, double now) -> int32_t {
        auto* state = static_cast<PartWay*>(context);
        if (now <= 0) return 0;
        state->namedWhileWritten = state->namedWhileWritten || !fs::is_empty(state->folder);
        return ++state->calls >= 2 ? -2 : 0;
    };
    EXPECT_EQ(LUDownloadUpdate(&update, cancelPartWay, &partWay), LU_CANCELLED);
    EXPECT_EQ(partWay.calls, 2);
    EXPECT_FALSE(partWay.namedWhileWritten);
    EXPECT_EQ(update.localPath, nullptr);
    EXPECT_TRUE(CachedFiles().empty());
}

// The installation opens the package by name, as root: every folder on the
// way must be the user's. The cache root may be a link to a folder of the
// user's (a second disk); a link or another user's folder further down, or a
// root that others can write to, refuses the download before it starts.
TEST_F(RefreshTest, DownloadRefusesAFolderChainThatOthersControl) {
    const std::string package(1000, 'k');
    server_.Serve("/pkg/k.deb", {200, package});
    const std::string url = server_.Url("/pkg/k.deb");
    std::string md5 = Md5Hex(package);
    std::string sha = Sha256Hex(package);
    LUUpdateData update{};
    update.remotePath = const_cast<char*>(url.c_str());
    update.md5 = md5.data();
    update.sha256 = sha.data();
    auto folderOf = [](int32_t expected) {
        char* folder = nullptr;
        EXPECT_EQ(LUCheckDownloadFolder(&folder), expected);
        const std::string path = folder ? folder : "";
        free(folder);
        return path;
    };

    // A private folder elsewhere as the cache root, through a link: fine.
    const fs::path disk = cache_ / "second-disk";
    fs::create_directory(disk);
    fs::permissions(disk, fs::perms::owner_all);
    fs::create_directory_symlink(disk, cache_ / "root-link");
    setenv("XDG_CACHE_HOME", (cache_ / "root-link").c_str(), 1);
    EXPECT_EQ(folderOf(LU_OK), (cache_ / "root-link/quillmarsh-pix-bridge/updates").string());
    ASSERT_EQ(LUDownloadUpdate(&update, nullptr, nullptr), LU_OK);
    EXPECT_TRUE(fs::exists(disk / "quillmarsh-pix-bridge/updates/k.deb"));
    free(update.localPath);
    update.localPath = nullptr;

    // Our folder is a link to one that others can write to.
    const fs::path open = cache_ / "open";
    fs::create_directories(open / "updates");
    fs::permissions(open, fs::perms::all);
    const fs::path root = cache_ / "root";
    fs::create_directory(root);
    fs::create_directory_symlink(open, root / "quillmarsh-pix-bridge");
    setenv("XDG_CACHE_HOME", root.c_str(), 1);
    EXPECT_EQ(LUDownloadUpdate(&update, nullptr, nullptr), LU_UNSAFE_FOLDER);
    EXPECT_EQ(folderOf(LU_UNSAFE_FOLDER), (root / "quillmarsh-pix-bridge").string());
    EXPECT_TRUE(fs::is_empty(open / "updates"));

    // A cache root that others can write to is refused, not changed.
    fs::remove(root / "quillmarsh-pix-bridge");
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_all);
    EXPECT_EQ(LUDownloadUpdate(&update, nullptr, nullptr), LU_UNSAFE_FOLDER);
    EXPECT_EQ(folderOf(LU_UNSAFE_FOLDER), root.string());
    EXPECT_EQ(fs::status(root).permissions() & fs::perms::group_write, fs::perms::group_write);

    // Folders of another user's: only root can make them here.
    if (geteuid() != 0) return;
    fs::permissions(root, fs::perms::owner_all);
    fs::create_directory(root / "quillmarsh-pix-bridge", disk);
    ASSERT_EQ(chown((root / "quillmarsh-pix-bridge").c_str(), 65534, 65534), 0);
    EXPECT_EQ(LUDownloadUpdate(&update, nullptr, nullptr), LU_UNSAFE_FOLDER);
    EXPECT_EQ(folderOf(LU_UNSAFE_FOLDER), (root / "quillmarsh-pix-bridge").string());
    fs::remove(root / "quillmarsh-pix-bridge");
    ASSERT_EQ(chown(root.c_str(), 65534, 65534), 0);
    EXPECT_EQ(LUDownloadUpdate(&update, nullptr, nullptr), LU_UNSAFE_FOLDER);
    EXPECT_EQ(folderOf(LU_UNSAFE_FOLDER), root.string());
}

}  // namespace
