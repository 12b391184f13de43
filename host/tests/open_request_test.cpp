// The --open channel: the command-line split, the socket's place, and the
// hand-over between a launch and a running server over a real socket.
#include "app/open_request_channel.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using open_request::OpenRequestServer;

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "open_request_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

// Runs the blocking hand-over on a thread while this one serves the socket.
bool HandOver(const std::string& socket, const std::vector<std::string>& files, int timeoutMs, std::string& error,
              const std::string& token = std::string()) {
    auto result = std::async(std::launch::async, [&] {
        return open_request::HandToRunningCopy(socket, files, timeoutMs, error, token);
    });
    while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        QCoreApplication::processEvents();
    }
    return result.get();
}

// Sends raw bytes and returns the server's answer line.
std::string RawRequest(const std::string& socket, const std::string& bytes) {
    auto result = std::async(std::launch::async, [&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        std::string answer;
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size())) {
            char buffer[64];
            ssize_t n;
            while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<size_t>(n));
        }
        close(fd);
        return answer;
    });
    while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        QCoreApplication::processEvents();
    }
    return result.get();
}

class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(dir_.isValid());
        socket_ = dir_.path().toStdString() + "/open.socket";
    }
    std::vector<std::vector<std::string>> received_;
    std::vector<std::string> tokens_;
    OpenRequestServer server_{[this](const open_request::OpenRequest& request) {
        received_.push_back(request.paths);
        tokens_.push_back(request.activationToken);
    }};
    QTemporaryDir dir_;
    std::string socket_;
};

}  // namespace

TEST(LaunchArguments, PhotosFollowOpenAndTheLauncherFileKeepsItsPlace) {
    const std::string cwd = fs::current_path().string();
    auto launch = open_request::SplitLaunchArguments({"/suite/Preferences.json"});
    EXPECT_FALSE(launch.open);
    EXPECT_EQ(launch.settings, std::vector<std::string>{"/suite/Preferences.json"});
    EXPECT_TRUE(launch.openFiles.empty());

    launch = open_request::SplitLaunchArguments({"/suite/Preferences.json", "--open", "a.heic", "", "/p/../q/b.HEIC"});
    EXPECT_TRUE(launch.open);
    EXPECT_EQ(launch.settings, std::vector<std::string>{"/suite/Preferences.json"});
    EXPECT_EQ(launch.openFiles, (std::vector<std::string>{cwd + "/a.heic", "/q/b.HEIC"}));

    // A link in the folder part is resolved before "..", as the kernel does;
    // a photo that is itself a link keeps its own name and place.
    const fs::path dir = fs::temp_directory_path() / ("launch_links_" + std::to_string(getpid()));
    fs::create_directories(dir / "real/sub");
    std::ofstream(dir / "real/b.heic") << "photo";
    fs::create_directory_symlink(dir / "real/sub", dir / "link");
    fs::create_symlink(dir / "real/b.heic", dir / "photo-link.heic");
    launch = open_request::SplitLaunchArguments({"--open", (dir / "link/../b.heic").string(), (dir / "photo-link.heic").string()});
    const fs::path real = fs::canonical(dir);
    EXPECT_EQ(launch.openFiles, (std::vector<std::string>{(real / "real/b.heic").string(), (real / "photo-link.heic").string()}));
    fs::remove_all(dir);

    // The desktop's "%F" may expand to nothing: the launch still asks to open.
    launch = open_request::SplitLaunchArguments({"--open"});
    EXPECT_TRUE(launch.open);
    EXPECT_TRUE(launch.settings.empty());
    EXPECT_TRUE(launch.openFiles.empty());
}

TEST(SocketPlace, UsesAPrivateRuntimeFolderElseTheProgramsOwnFolderInTheUsersCache) {
    QTemporaryDir root;
    const std::string base = fs::canonical(root.path().toStdString()).string();
    const std::string runtime = base + "/run", tmp = base + "/tmp", cache = base + "/cache";
    mkdir(runtime.c_str(), 0700);
    mkdir(tmp.c_str(), 0777);
    setenv("TMPDIR", tmp.c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(open_request::SocketPath("Name"), runtime + "/Name.socket");

    // A runtime folder others can enter is not used; nor is the shared
    // temporary folder, where another user could make the folder first.
    chmod(runtime.c_str(), 0755);
    const std::string own = cache + "/quillmarsh-pix-bridge/run";
    EXPECT_EQ(open_request::SocketPath("Name"), own + "/Name.socket");
    struct stat st {};
    ASSERT_EQ(lstat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::is_empty(tmp));

    // A link planted where the folder belongs is never followed.
    rmdir(own.c_str());
    ASSERT_EQ(symlink(runtime.c_str(), own.c_str()), 0);
    EXPECT_EQ(open_request::SocketPath("Name"), "");
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("XDG_CACHE_HOME");
    unsetenv("TMPDIR");
}

TEST_F(ChannelTest, ALaunchHandsItsPhotosToTheRunningCopy) {
    ASSERT_TRUE(server_.Listen(socket_));
    const std::vector<std::string> files = {"/photos/IMG_0001.HEIC", u8"/photos/été/b.heic"};
    std::string error;
    EXPECT_TRUE(HandOver(socket_, files, 5000, error)) << error;
    // An empty list only raises the window, with the launcher's token.
    EXPECT_TRUE(HandOver(socket_, {}, 5000, error, "gnome-shell/Files/4021-7-host_TIME123")) << error;
    // A launch of an earlier build sends the bare array.
    EXPECT_EQ(RawRequest(socket_, "[\"/photos/c.heic\"]\n"), "ok\n");
    // A token with a line break or a space never reaches the environment.
    EXPECT_EQ(RawRequest(socket_, R"({"paths": [], "activation_token": "a b\n"})" "\n"), "ok\n");
    ASSERT_EQ(received_.size(), 4u);
    EXPECT_EQ(received_[0], files);
    EXPECT_EQ(tokens_[0], "");
    EXPECT_TRUE(received_[1].empty());
    EXPECT_EQ(tokens_[1], "gnome-shell/Files/4021-7-host_TIME123");
    EXPECT_EQ(received_[2], std::vector<std::string>{"/photos/c.heic"});
    EXPECT_EQ(tokens_[3], "");
}

TEST_F(ChannelTest, MalformedRequestsAreRefusedAndReachNobody) {
    ASSERT_TRUE(server_.Listen(socket_));
    EXPECT_EQ(RawRequest(socket_, "not json\n"), "refused\n");
    EXPECT_EQ(RawRequest(socket_, "[\"relative.heic\"]\n"), "refused\n");
    EXPECT_EQ(RawRequest(socket_, "{\"a\": 1}\n"), "refused\n");
    // Past the size limit without an end of line: dropped without an answer.
    EXPECT_EQ(RawRequest(socket_, std::string(OpenRequestServer::kMaxRequestBytes + 1024, '[')), "");
    EXPECT_TRUE(received_.empty());
}

TEST_F(ChannelTest, ASocketLeftByACrashedCopyIsReplacedAndNoServerMeansFailure) {
    std::string error;
    EXPECT_FALSE(HandOver(socket_, {"/a.heic"}, 300, error));
    EXPECT_FALSE(error.empty());

    // What a crash leaves: the socket file, with nobody listening.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(stale);

    ASSERT_TRUE(server_.Listen(socket_));
    EXPECT_TRUE(HandOver(socket_, {"/a.heic"}, 5000, error)) << error;
    ASSERT_EQ(received_.size(), 1u);
}
