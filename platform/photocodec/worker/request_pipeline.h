// The helper's requests, a few at a time: each runs on a job thread of its
// own while the answers go out strictly in the order the requests came. So
// the next photo is already being decoded while the one before is encoded
// and written, and the library still reads one answer after the other.
#ifndef PHOTOCODEC_REQUEST_PIPELINE_H
#define PHOTOCODEC_REQUEST_PIPELINE_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "unique_fd.h"
#include "wire_protocol.h"

namespace photocodec {

// The helper's end of the socket, shared by the job threads: one whole
// frame at a time.
class SocketWriter {
public:
    explicit SocketWriter(int socket) : socket_(socket) {}
    SocketWriter(const SocketWriter&) = delete;
    SocketWriter& operator=(const SocketWriter&) = delete;

    bool send(wire::MessageType type, const std::vector<uint8_t>& payload);

private:
    std::mutex lock_;
    int socket_;
};

class RequestPipeline {
public:
    // Works out one request; runs on a job thread.
    using Serve = std::function<wire::Result(const wire::Request&, std::vector<UniqueFd>&)>;
    // Runs when the last answer has gone out and nothing waits.
    using Idle = std::function<void()>;

    RequestPipeline(SocketWriter& writer, int jobsAtOnce, Serve serve, Idle idle);
    // Lets the requests under way end; those not yet begun are dropped.
    ~RequestPipeline();
    RequestPipeline(const RequestPipeline&) = delete;
    RequestPipeline& operator=(const RequestPipeline&) = delete;

    void submit(const wire::Request& request, std::vector<UniqueFd> fds);
    // Every request answered.
    bool idle();

private:
    struct Entry {
        wire::Request request;
        std::vector<UniqueFd> fds;
        bool begun = false;
        std::optional<wire::Result> result;
    };

    void runJobs();
    // Sends the answers that are next in line; called with the lock held.
    void deliverReady();

    SocketWriter& writer_;
    Serve serve_;
    Idle idle_;
    std::mutex lock_;
    std::condition_variable work_;
    std::deque<Entry> entries_;  // in the order they came, until answered
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_REQUEST_PIPELINE_H
