// One helper process that decodes and encodes on behalf of one HeicDecoder:
// taken from the spare (or started) on first use, kept running between
// photos, handed back as the spare when the decoder ends, and killed and
// restarted when it crashes, hangs or talks nonsense, so a photo that takes
// the HEIF decoder down fails alone (with the photo that was under way
// beside it, should that one fail again on its own).
#ifndef PHOTOCODEC_WORKER_CLIENT_H
#define PHOTOCODEC_WORKER_CLIENT_H

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "helper_process.h"
#include "unique_fd.h"
#include "wire_protocol.h"

namespace photocodec {

class WorkerClient {
public:
    // Requests the helper works on at the same time: the next photo is
    // decoded while the one before is encoded and written. Later ones wait
    // here until an answer is collected.
    static constexpr size_t kRequestsAtOnce = 2;

    WorkerClient() = default;
    ~WorkerClient();
    WorkerClient(const WorkerClient&) = delete;
    WorkerClient& operator=(const WorkerClient&) = delete;

    struct Outcome {
        bool ok = false;
        // The helper answered (ok or not); false when it was lost, timed
        // out or never got the request.
        bool answered = false;
        wire::Result result;
        std::string failure;  // why it failed, when it did
    };

    // Hands a request to the helper without waiting for its answer, with
    // the descriptors its operation takes (the source first; for
    // conversions the output, which the helper writes itself). The
    // descriptors are duplicated.
    void submit(const wire::Request& request, const std::vector<int>& fds);
    // The answer to the oldest request submitted and not yet collected.
    Outcome collect();
    size_t pending() const { return requests_.size(); }

    // One request, waited for.
    Outcome run(const wire::Request& request, const std::vector<int>& fds);

    // How long a request may take: `baseMs` (at most a day), and a second
    // per megapixel the helper says the photo has, but at most
    // kMaxExtensionMs more: the largest picture libheif decodes at all (a
    // gigapixel) stays under the cap, and a broken or hostile helper
    // claiming more gets no more. Never overflows, whatever it says.
    static constexpr int64_t kMaxBaseMs = 24LL * 60 * 60 * 1000;
    static constexpr int64_t kTimeoutPerMegapixelMs = 1000;
    static constexpr int64_t kMaxExtensionMs = 20LL * 60 * 1000;
    static constexpr int64_t timeLimitMs(int64_t baseMs, uint64_t pixelCount)
    {
        const uint64_t megapixels = pixelCount / 1000000;
        const int64_t extensionMs = megapixels >= static_cast<uint64_t>(kMaxExtensionMs / kTimeoutPerMegapixelMs)
                                        ? kMaxExtensionMs
                                        : static_cast<int64_t>(megapixels) * kTimeoutPerMegapixelMs;
        return std::clamp<int64_t>(baseMs, 0, kMaxBaseMs) + extensionMs;
    }

private:
    struct Pending {
        wire::Request request;
        std::vector<UniqueFd> fds;
        bool sent = false;
        // A second attempt after the helper died under it: it goes to a
        // fresh helper with nothing else under way, so it fails or succeeds
        // on its own account.
        bool alone = false;
        bool sendFailed = false;  // a helper already refused it once
        wire::Clock::time_point sentAt;
        uint64_t pixelCount = 0;
        std::optional<Outcome> outcome;  // settled before its answer came
    };

    bool ensureRunning(std::string& error);
    // Sends the waiting requests, in order, as far as the helper may take them.
    void sendWaiting();
    size_t underWay() const;
    wire::Clock::time_point deadlineOf(const Pending& request) const;
    // The helper died or broke the protocol: every request under way is
    // tried once more, alone, with libde265 (the crash may have been
    // FFmpeg's); one that was already on its second attempt fails.
    void helperLost(const std::string& why);
    // The oldest request ran out of time: it fails, and the others under
    // way go to the next helper as they were.
    void oldestTimedOut(int64_t waitedMs);
    Pending* findSent(uint32_t sequence);
    // Reaps the helper, killing it if it has not left within `graceMs`,
    // and says how it ended.
    std::string stop(int64_t graceMs = 0) { return helper_.stop(graceMs); }

    HelperProcess helper_;
    std::deque<Pending> requests_;  // submitted and not yet collected, oldest first
    uint32_t nextSequence_ = 1;
};

// Where the helper program is: PIXBRIDGE_HEIF_WORKER if set, else
// "pixbridge-heif-worker" beside libPhotoCodec.so.
std::string workerProgramPath();
// The helper beside libPhotoCodec.so, whatever the environment says.
std::string bundledWorkerPath();

}  // namespace photocodec

#endif  // PHOTOCODEC_WORKER_CLIENT_H
