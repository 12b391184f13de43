#include "request_pipeline.h"

#include <algorithm>

namespace photocodec {

bool SocketWriter::send(wire::MessageType type, const std::vector<uint8_t>& payload)
{
    std::lock_guard<std::mutex> guard(lock_);
    return wire::sendFrame(socket_, type, payload);
}

RequestPipeline::RequestPipeline(SocketWriter& writer, int jobsAtOnce, Serve serve, Idle idle)
    : writer_(writer), serve_(std::move(serve)), idle_(std::move(idle))
{
    for (int i = 0; i < std::max(1, jobsAtOnce); ++i) {
        threads_.emplace_back([this] { runJobs(); });
    }
}

RequestPipeline::~RequestPipeline()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        closing_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) {
        t.join();
    }
}

void RequestPipeline::submit(const wire::Request& request, std::vector<UniqueFd> fds)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        Entry entry;
        entry.request = request;
        entry.fds = std::move(fds);
        entries_.push_back(std::move(entry));
    }
    work_.notify_one();
}

bool RequestPipeline::idle()
{
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.empty();
}

void RequestPipeline::runJobs()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        Entry* next = nullptr;
        work_.wait(guard, [&] {
            for (Entry& e : entries_) {
                if (!e.begun) {
                    next = &e;
                    return true;
                }
            }
            return closing_;
        });
        if (closing_) {
            return;
        }
        // A deque keeps its elements in place while others are added at
        // the back or taken from the front, and this one is not answered,
        // so not taken, before its result is in.
        next->begun = true;
        const wire::Request request = next->request;
        std::vector<UniqueFd> fds = std::move(next->fds);
        guard.unlock();
        wire::Result result = serve_(request, fds);
        result.sequence = request.sequence;
        // The output file is the library's from here on.
        fds.clear();
        guard.lock();
        next->result = std::move(result);
        deliverReady();
    }
}

void RequestPipeline::deliverReady()
{
    bool answered = false;
    while (!entries_.empty() && entries_.front().result) {
        // A library that went away learns nothing more; the main loop sees
        // the closed socket and ends the helper.
        writer_.send(wire::MessageType::Result, wire::encode(*entries_.front().result));
        entries_.pop_front();
        answered = true;
    }
    if (answered && entries_.empty() && idle_) {
        idle_();
    }
}

}  // namespace photocodec
