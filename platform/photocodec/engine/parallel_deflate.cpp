#include "parallel_deflate.h"

#include <zlib.h>

#include <algorithm>

namespace photocodec {

namespace {

constexpr size_t kWindowBytes = 32u << 10;
constexpr size_t kHeaderBytes = 2;
constexpr size_t kTrailerBytes = 4;
// Room for what a sync flush adds beyond deflateBound().
constexpr size_t kFlushSlackBytes = 16;
// A strip's buffer is set aside up to this size at once.
constexpr size_t kReserveBytes = 8u << 20;

// The two bytes of a zlib stream with a 32 KB window, as zlib itself
// writes them for the level.
void writeHeader(uint8_t* out, int level)
{
    const unsigned levelFlags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (0x78u << 8) | (levelFlags << 6);
    header += 31 - header % 31;
    out[0] = static_cast<uint8_t>(header >> 8);
    out[1] = static_cast<uint8_t>(header);
}

}  // namespace

struct ParallelDeflate::Strip {
    std::vector<uint8_t> input;
    std::vector<uint8_t> dictionary;
    bool first = false;
    bool last = false;
    bool taken = false;
    bool done = false;
    bool ok = false;
    size_t inputBytes = 0;
    uint32_t adler = 1;
    std::vector<uint8_t> output;  // with room for the header on the first
    std::string error;
};

// The raw deflate stream of one thread, reset for every strip.
class ParallelDeflate::Worker {
public:
    explicit Worker(int level)
    {
        ready_ = deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_FILTERED) == Z_OK;
    }
    ~Worker()
    {
        if (ready_) {
            deflateEnd(&stream_);
        }
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void compress(Strip& strip)
    {
        strip.inputBytes = strip.input.size();
        strip.adler = static_cast<uint32_t>(adler32(1, strip.input.data(), static_cast<uInt>(strip.input.size())));
        if (!ready_ || deflateReset(&stream_) != Z_OK) {
            strip.error = "the PNG compressor could not start";
            return;
        }
        if (!strip.dictionary.empty() &&
            deflateSetDictionary(&stream_, strip.dictionary.data(), static_cast<uInt>(strip.dictionary.size())) !=
                Z_OK) {
            strip.error = "the PNG compressor refused its dictionary";
            return;
        }
        const size_t offset = strip.first ? kHeaderBytes : 0;
        strip.output.resize(offset + deflateBound(&stream_, static_cast<uLong>(strip.input.size())) +
                            kFlushSlackBytes + (strip.last ? kTrailerBytes : 0));
        stream_.next_in = strip.input.data();
        stream_.avail_in = static_cast<uInt>(strip.input.size());
        stream_.next_out = strip.output.data() + offset;
        stream_.avail_out = static_cast<uInt>(strip.output.size() - offset);
        const int result = deflate(&stream_, strip.last ? Z_FINISH : Z_SYNC_FLUSH);
        const bool complete = strip.last ? result == Z_STREAM_END
                                         : result == Z_OK && stream_.avail_in == 0 && stream_.avail_out > 0;
        if (!complete) {
            strip.error = "the PNG compressor failed";
            return;
        }
        strip.output.resize(strip.output.size() - stream_.avail_out);
        // The input is done with; only the output waits for its turn.
        std::vector<uint8_t>().swap(strip.input);
        std::vector<uint8_t>().swap(strip.dictionary);
        strip.ok = true;
    }

private:
    z_stream stream_{};
    bool ready_ = false;
};

ParallelDeflate::ParallelDeflate(const Options& options, Emit emit) : options_(options), emit_(std::move(emit))
{
    options_.threads = std::max(1, options_.threads);
    options_.stripBytes = std::max(kWindowBytes, options_.stripBytes);
    // One strip for each thread and one waiting: the thread that fills them
    // is seldom the slowest.
    maxUnderWay_ = static_cast<size_t>(options_.threads) + 1;
    filling_.reserve(std::min(options_.stripBytes, kReserveBytes));
    for (int i = 0; i < options_.threads; ++i) {
        threads_.emplace_back([this] { work(); });
    }
}

ParallelDeflate::~ParallelDeflate()
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

uint64_t ParallelDeflate::memoryBytes(const Options& options)
{
    const uint64_t strip = std::max(kWindowBytes, options.stripBytes);
    const uint64_t threads = static_cast<uint64_t>(std::max(1, options.threads));
    // Each strip under way: its input, its output (at worst a little more
    // than the input) and its dictionary; each thread: zlib's own state.
    return strip + (threads + 1) * (strip * 2 + kWindowBytes) + threads * (384u << 10);
}

bool ParallelDeflate::write(const uint8_t* data, size_t size, std::string& error)
{
    if (finished_) {
        error = "the PNG stream has ended";
        return false;
    }
    while (size > 0) {
        const size_t n = std::min(size, options_.stripBytes - filling_.size());
        filling_.insert(filling_.end(), data, data + n);
        data += n;
        size -= n;
        if (filling_.size() == options_.stripBytes && !submit(false, error)) {
            return false;
        }
    }
    return true;
}

bool ParallelDeflate::finish(std::string& error)
{
    if (finished_) {
        error = "the PNG stream has ended";
        return false;
    }
    if (!submit(true, error)) {
        return false;
    }
    finished_ = true;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (strips_.empty()) {
                return true;
            }
        }
        if (!emitReady(true, error)) {
            return false;
        }
    }
}

bool ParallelDeflate::submit(bool last, std::string& error)
{
    auto strip = std::make_shared<Strip>();
    strip->first = !started_;
    strip->last = last;
    strip->dictionary = dictionary_;
    // The next strip's dictionary: the last 32 KB of the stream so far.
    if (filling_.size() >= kWindowBytes) {
        dictionary_.assign(filling_.end() - static_cast<std::ptrdiff_t>(kWindowBytes), filling_.end());
    } else {
        dictionary_.insert(dictionary_.end(), filling_.begin(), filling_.end());
        if (dictionary_.size() > kWindowBytes) {
            dictionary_.erase(dictionary_.begin(),
                              dictionary_.end() - static_cast<std::ptrdiff_t>(kWindowBytes));
        }
    }
    strip->input.swap(filling_);
    filling_.clear();
    filling_.reserve(std::min(options_.stripBytes, kReserveBytes));
    started_ = true;
    {
        std::lock_guard<std::mutex> guard(lock_);
        strips_.push_back(std::move(strip));
    }
    work_.notify_one();

    if (!emitReady(false, error)) {
        return false;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (strips_.size() < maxUnderWay_) {
                return true;
            }
        }
        if (!emitReady(true, error)) {
            return false;
        }
    }
}

bool ParallelDeflate::emitReady(bool wait, std::string& error)
{
    for (;;) {
        std::shared_ptr<Strip> head;
        {
            std::unique_lock<std::mutex> guard(lock_);
            if (strips_.empty()) {
                return true;
            }
            head = strips_.front();
            if (!head->done) {
                if (!wait) {
                    return true;
                }
                done_.wait(guard, [&] { return head->done; });
            }
            strips_.pop_front();
        }
        wait = false;
        if (!head->ok) {
            error = head->error;
            finished_ = true;
            return false;
        }
        adler_ = static_cast<uint32_t>(adler32_combine(adler_, head->adler, static_cast<z_off_t>(head->inputBytes)));
        std::vector<uint8_t>& out = head->output;
        if (head->first) {
            writeHeader(out.data(), options_.level);
        }
        if (head->last) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                out.push_back(static_cast<uint8_t>(adler_ >> shift));
            }
        }
        if (!emit_(out.data(), out.size())) {
            error = "cannot write the PNG data";
            finished_ = true;
            return false;
        }
    }
}

void ParallelDeflate::work()
{
    Worker worker(options_.level);
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        std::shared_ptr<Strip> next;
        work_.wait(guard, [&] {
            for (const std::shared_ptr<Strip>& s : strips_) {
                if (!s->taken) {
                    next = s;
                    return true;
                }
            }
            return closing_;
        });
        if (closing_) {
            return;
        }
        next->taken = true;
        guard.unlock();
        worker.compress(*next);
        guard.lock();
        next->done = true;
        done_.notify_all();
    }
}

}  // namespace photocodec
