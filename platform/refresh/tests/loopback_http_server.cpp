#include "loopback_http_server.h"

#include <openssl/evp.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <sstream>

LoopbackHttpServer::LoopbackHttpServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe(wake_) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    Stop();
    for (int fd : {wake_[0], wake_[1]}) {
        if (fd >= 0) close(fd);
    }
}

void LoopbackHttpServer::Stop() {
    stopping_.store(true);
    if (wake_[1] >= 0) (void)!write(wake_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackHttpServer::Serve(const std::string& path, Response response) {
    std::lock_guard<std::mutex> lock(mutex_);
    responses_[path] = std::move(response);
}

std::string LoopbackHttpServer::LastTarget() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastTarget_;
}

void LoopbackHttpServer::Run() {
    while (!stopping_.load()) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) <= 0) continue;
        if (fds[1].revents) break;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        Answer(client);
        close(client);
    }
}

void LoopbackHttpServer::Answer(int client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, static_cast<size_t>(n));
    }
    std::istringstream line(request.substr(0, request.find("\r\n")));
    std::string method, target;
    line >> method >> target;
    requests_.fetch_add(1);
    Response response;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lastTarget_ = target;
        auto found = responses_.find(target.substr(0, target.find('?')));
        if (found != responses_.end()) {
            response = found->second;
        } else {
            response.status = 404;
            response.body = "not found";
        }
    }
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " X\r\nConnection: close\r\nContent-Length: " +
                       std::to_string(response.body.size()) + "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    head += "\r\n";
    if (send(client, head.data(), head.size(), MSG_NOSIGNAL) < 0) return;
    const size_t piece = response.pieceBytes ? response.pieceBytes : response.body.size();
    for (size_t sent = 0; sent < response.body.size() && !stopping_.load(); sent += piece) {
        const size_t n = std::min(piece, response.body.size() - sent);
        if (send(client, response.body.data() + sent, n, MSG_NOSIGNAL) < 0) return;
        if (response.pieceDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(response.pieceDelayMs));
    }
}

namespace {

std::string DigestHex(const std::string& data, const EVP_MD* kind) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), value, &length, kind, nullptr);
    std::ostringstream hex;
    for (unsigned int i = 0; i < length; ++i) hex << std::hex << (value[i] >> 4) << (value[i] & 15);
    return hex.str();
}

}  // namespace

std::string Md5Hex(const std::string& data) { return DigestHex(data, EVP_md5()); }
std::string Sha256Hex(const std::string& data) { return DigestHex(data, EVP_sha256()); }
