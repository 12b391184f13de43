#include "open_request_channel.h"

#include <bedrock/unique_fd.h>

#include "run_folder.h"

#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/window_system.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

#include <glog/logging.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

namespace open_request {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kConnectRetry = std::chrono::milliseconds(100);

using Fd = bedrock::UniqueFd;

bool IsValidUtf8(const std::string& text) {
    const std::u16string wide = BASUtilityString::Utf8ToUtf16(text);
    return BASUtilityString::Utf16ToUtf8(wide) == text;
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The user id of the process at the other end of a connected socket.
bool PeerIsThisUser(int fd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.uid == geteuid();
}

}  // namespace

LaunchArguments SplitLaunchArguments(const std::vector<std::string>& arguments) {
    LaunchArguments launch;
    size_t i = 0;
    for (; i < arguments.size() && arguments[i] != kOpenArgument; ++i) launch.settings.push_back(arguments[i]);
    if (i == arguments.size()) return launch;
    launch.open = true;
    for (++i; i < arguments.size(); ++i) {
        if (arguments[i].empty()) continue;
        // The folder part as the kernel resolves it: "link/../IMG.heic" is
        // the photo the launching shell names.
        launch.openFiles.push_back(BASUtilityFile::ResolvePath(arguments[i]));
    }
    return launch;
}

std::string SocketPath(const std::string& instanceName) {
    std::string problem;
    const std::string folder = run_folder::Path(&problem);
    if (folder.empty()) {
        LOG(WARNING) << "no private folder for the hand-over socket (" << problem << "); no open requests";
        return {};
    }
    const std::string path = folder + instanceName + ".socket";
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        LOG(WARNING) << path << " is too long for a socket; no open requests";
        return {};
    }
    return path;
}

std::string EncodePaths(const std::vector<std::string>& paths) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (const std::string& path : paths) {
        // Names that are not UTF-8 cannot become the program's UTF-16 paths.
        if (!IsValidUtf8(path)) continue;
        writer.String(path.c_str(), static_cast<rapidjson::SizeType>(path.size()));
    }
    writer.EndArray();
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool DecodePaths(const std::string& json, std::vector<std::string>& paths) {
    rapidjson::Document doc;
    doc.Parse(json.c_str(), json.size());
    if (doc.HasParseError() || !doc.IsArray()) return false;
    std::vector<std::string> decoded;
    for (const rapidjson::Value& item : doc.GetArray()) {
        if (!item.IsString()) return false;
        std::string path(item.GetString(), item.GetStringLength());
        if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos || !IsValidUtf8(path)) return false;
        decoded.push_back(std::move(path));
    }
    paths = std::move(decoded);
    return true;
}

namespace {

constexpr size_t kMaxTokenBytes = 4096;

// Tokens are opaque, but they end up in the environment: printable ASCII only.
bool IsUsableToken(const std::string& token) {
    if (token.size() > kMaxTokenBytes) return false;
    for (const char c : token) {
        if (c < 0x21 || c > 0x7E) return false;
    }
    return true;
}

}  // namespace

std::string EncodeRequest(const OpenRequest& request) {
    rapidjson::Document paths;
    paths.Parse(EncodePaths(request.paths).c_str());
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("paths");
    paths.Accept(writer);
    if (!request.activationToken.empty() && IsUsableToken(request.activationToken)) {
        writer.Key("activation_token");
        writer.String(request.activationToken.c_str(), static_cast<rapidjson::SizeType>(request.activationToken.size()));
    }
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool DecodeRequest(const std::string& json, OpenRequest& request) {
    rapidjson::Document doc;
    doc.Parse(json.c_str(), json.size());
    if (doc.HasParseError()) return false;
    OpenRequest decoded;
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    if (doc.IsArray()) {
        doc.Accept(writer);
    } else if (doc.IsObject()) {
        auto paths = doc.FindMember("paths");
        if (paths == doc.MemberEnd() || !paths->value.IsArray()) return false;
        paths->value.Accept(writer);
        auto token = doc.FindMember("activation_token");
        if (token != doc.MemberEnd() && token->value.IsString()) {
            std::string text(token->value.GetString(), token->value.GetStringLength());
            if (IsUsableToken(text)) decoded.activationToken = std::move(text);
        }
    } else {
        return false;
    }
    if (!DecodePaths(std::string(buffer.GetString(), buffer.GetSize()), decoded.paths)) return false;
    request = std::move(decoded);
    return true;
}

std::string LaunchActivationToken() {
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const char* token = getenv(name);
        if (token && token[0] && IsUsableToken(token)) return token;
    }
    return std::string();
}

bool HandToRunningCopy(const std::string& socketPath, const std::vector<std::string>& files, int timeoutMs,
                       std::string& error, const std::string& activationToken) {
    if (socketPath.empty()) {
        error = "no private place for the program's socket";
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        error = "the socket path is too long: " + socketPath;
        return false;
    }
    memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

    // The running copy takes the lock first and listens once its window
    // exists, so a launch right after it may have to wait a moment.
    std::unique_ptr<Fd> connection;
    for (;;) {
        auto fd = std::make_unique<Fd>(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (fd->get() < 0) {
            error = std::string("cannot make a socket: ") + strerror(errno);
            return false;
        }
        if (connect(fd->get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            connection = std::move(fd);
            break;
        }
        const int reason = errno;
        const bool retry = reason == ENOENT || reason == ECONNREFUSED || reason == EAGAIN || reason == EINTR;
        if (!retry || MillisecondsLeft(deadline) == 0) {
            error = "the running copy does not answer at " + socketPath + ": " + strerror(reason);
            return false;
        }
        std::this_thread::sleep_for(kConnectRetry);
    }
    if (!PeerIsThisUser(connection->get())) {
        error = "the socket " + socketPath + " belongs to another user";
        return false;
    }

    const std::string message = EncodeRequest(OpenRequest{files, activationToken}) + "\n";
    size_t sent = 0;
    while (sent < message.size()) {
        pollfd p{connection->get(), POLLOUT, 0};
        if (poll(&p, 1, MillisecondsLeft(deadline)) <= 0) {
            error = "the running copy did not take the request";
            return false;
        }
        const ssize_t n = send(connection->get(), message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = std::string("cannot send the request: ") + strerror(errno);
            return false;
        }
        sent += static_cast<size_t>(n);
    }

    std::string answer;
    char buffer[64];
    while (answer.find('\n') == std::string::npos) {
        pollfd p{connection->get(), POLLIN, 0};
        if (poll(&p, 1, MillisecondsLeft(deadline)) <= 0) {
            error = "the running copy did not confirm the request";
            return false;
        }
        const ssize_t n = recv(connection->get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "the running copy closed the connection";
            return false;
        }
        answer.append(buffer, static_cast<size_t>(n));
    }
    if (answer.compare(0, 3, "ok\n") != 0) {
        error = "the running copy refused the request";
        return false;
    }
    return true;
}

void RaiseWindow(QWidget* window, const std::string& activationToken) {
    if (!window) return;
    if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->show();
    }
    window->raise();
    // Qt's Wayland plug-in activates with the token in XDG_ACTIVATION_TOKEN
    // and clears it; without one the compositor may only mark the window
    // as wanting attention. Set on the main thread, just before it is read.
    if (!activationToken.empty() && WindowSystem::IsWayland()) {
        qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(activationToken));
    }
    window->activateWindow();
}

OpenRequestServer::OpenRequestServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), server_(new QLocalServer(this)) {
    connect(server_, &QLocalServer::newConnection, this, [this] { Accept(); });
}

OpenRequestServer::~OpenRequestServer() = default;

bool OpenRequestServer::Listen(const std::string& socketPath) {
    if (socketPath.empty()) return false;
    const QString name = QString::fromStdString(socketPath);
    if (!server_->listen(name)) {
        if (server_->serverError() != QAbstractSocket::AddressInUseError) {
            LOG(WARNING) << "cannot listen at " << socketPath << ": " << server_->errorString().toStdString();
            return false;
        }
        QLocalServer::removeServer(name);
        if (!server_->listen(name)) {
            LOG(WARNING) << "cannot listen at " << socketPath << ": " << server_->errorString().toStdString();
            return false;
        }
    }
    LOG(INFO) << "open requests at " << socketPath;
    return true;
}

void OpenRequestServer::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The folder is private already; the peer's id also keeps out a
        // process that got hold of the socket some other way.
        if (!PeerIsThisUser(static_cast<int>(socket->socketDescriptor()))) {
            LOG(WARNING) << "open request from another user refused";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // A client that connects and then says nothing is dropped.
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [socket] {
            LOG(WARNING) << "open request timed out";
            socket->abort();
            socket->deleteLater();
        });
        timer->start(kRequestTimeoutMs);

        auto received = std::make_shared<QByteArray>();
        auto handled = std::make_shared<bool>(false);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, timer, received, handled] {
            if (*handled) return;
            received->append(socket->readAll());
            const qsizetype end = received->indexOf('\n');
            if (end < 0) {
                if (received->size() > kMaxRequestBytes) {
                    LOG(WARNING) << "open request too large";
                    *handled = true;
                    socket->abort();
                    socket->deleteLater();
                }
                return;
            }
            *handled = true;
            timer->stop();
            OpenRequest request;
            const bool usable = DecodeRequest(received->left(end).toStdString(), request);
            socket->write(usable ? "ok\n" : "refused\n");
            socket->flush();
            socket->disconnectFromServer();
            if (usable) {
                handler_(request);
            } else {
                LOG(WARNING) << "open request refused: not an array of absolute paths";
            }
        });
    }
}

}  // namespace open_request
