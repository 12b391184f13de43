// A small HTTP/1.1 server on 127.0.0.1 for the update tests: fixed answers
// by path, optionally sent slowly in pieces, one connection at a time.
#ifndef REFRESH_TESTS_LOOPBACK_HTTP_SERVER_H
#define REFRESH_TESTS_LOOPBACK_HTTP_SERVER_H

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class LoopbackHttpServer {
public:
    struct Response {
        Response() = default;
        Response(int status, std::string body, std::vector<std::pair<std::string, std::string>> headers = {},
                 size_t pieceBytes = 0, int pieceDelayMs = 0)
            : status(status), body(std::move(body)), headers(std::move(headers)), pieceBytes(pieceBytes),
              pieceDelayMs(pieceDelayMs) {}
        int status = 200;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
        size_t pieceBytes = 0;  // 0: all at once
        int pieceDelayMs = 0;
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int Port() const { return port_; }
    // Stops answering and closes the port: connections are refused.
    void Stop();
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(const std::string& path) const;
    // Answers requests for `path` (the query is ignored) with `response`.
    void Serve(const std::string& path, Response response);
    int Requests() const { return requests_.load(); }
    std::string LastTarget() const;

private:
    void Run();
    void Answer(int client);

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    mutable std::mutex mutex_;
    std::map<std::string, Response> responses_;
    std::string lastTarget_;
    std::thread thread_;
};

// The MD5 and the SHA-256 of `data` in lower-case hex, as an update feed
// lists them.
std::string Md5Hex(const std::string& data);
std::string Sha256Hex(const std::string& data);

#endif  // REFRESH_TESTS_LOOPBACK_HTTP_SERVER_H
