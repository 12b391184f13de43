// One zlib stream, compressed in strips on several threads the way pigz
// does it: each strip is deflated with the 32 KB before it as its
// dictionary and ends on a byte boundary (a sync flush), so the strips put
// side by side make one standard stream, as small as a single deflate
// would make it within a fraction of a percent; the Adler-32 of the whole
// is combined from the strips'. The strips come out in order.
#ifndef PHOTOCODEC_PARALLEL_DEFLATE_H
#define PHOTOCODEC_PARALLEL_DEFLATE_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace photocodec {

class ParallelDeflate {
public:
    struct Options {
        int level = 3;
        int threads = 2;
        // Uncompressed bytes per strip: big enough that the dictionary and
        // the flush cost next to nothing, small enough that every thread
        // has a strip to work on.
        size_t stripBytes = 512u << 10;
    };
    // Takes the stream's bytes in order, one strip at a time (the first
    // with the zlib header, the last with the Adler-32 trailer). Runs on
    // the thread that calls write() or finish(); false stops the stream.
    using Emit = std::function<bool(const uint8_t* data, size_t size)>;

    ParallelDeflate(const Options& options, Emit emit);
    ~ParallelDeflate();
    ParallelDeflate(const ParallelDeflate&) = delete;
    ParallelDeflate& operator=(const ParallelDeflate&) = delete;

    // Adds uncompressed bytes. Waits when the strips under way are as many
    // as the memory allows, and hands finished ones on in the meantime.
    bool write(const uint8_t* data, size_t size, std::string& error);
    // Compresses the rest as the last strip and hands everything on.
    bool finish(std::string& error);

    // What a stream holds in memory at most besides the caller's data.
    static uint64_t memoryBytes(const Options& options);

private:
    struct Strip;
    class Worker;

    bool submit(bool last, std::string& error);
    // Hands on the finished strips at the head of the line; with `wait`,
    // waits for the oldest first.
    bool emitReady(bool wait, std::string& error);
    void work();

    Options options_;
    Emit emit_;
    size_t maxUnderWay_ = 1;
    std::vector<uint8_t> filling_;     // the strip being filled
    std::vector<uint8_t> dictionary_;  // the last 32 KB before it
    bool started_ = false;             // the header has gone out
    bool finished_ = false;
    uint32_t adler_ = 1;

    std::mutex lock_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Strip>> strips_;  // submitted, oldest first, until handed on
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_PARALLEL_DEFLATE_H
