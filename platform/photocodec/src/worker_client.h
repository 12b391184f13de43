// One helper process that decodes and encodes on behalf of one HeicDecoder:
// started on first use, kept running between photos, and killed and
// restarted when it crashes, hangs or talks nonsense, so a photo that takes
// the HEIF decoder down fails alone.
#ifndef PHOTOCODEC_WORKER_CLIENT_H
#define PHOTOCODEC_WORKER_CLIENT_H

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "unique_fd.h"
#include "wire_protocol.h"

namespace photocodec {

class WorkerClient {
public:
    WorkerClient() = default;
    ~WorkerClient();
    WorkerClient(const WorkerClient&) = delete;
    WorkerClient& operator=(const WorkerClient&) = delete;

    struct Outcome {
        bool ok = false;
        wire::Result result;
        std::string failure;  // why it failed, when it did
    };

    // Runs one request with the source (and, for conversions, the output)
    // descriptor. The helper writes the output itself.
    Outcome run(const wire::Request& request, int sourceFd, int outputFd);

private:
    enum class Exchange { Done, HelperLost, TimedOut };

    bool ensureRunning(std::string& error);
    bool spawn(std::string& error);
    Exchange exchange(const wire::Request& request, int sourceFd, int outputFd, Outcome& outcome);
    // Reaps the helper, killing it if it has not left within `graceMs`,
    // and says how it ended.
    std::string stop(int64_t graceMs = 0);

    pid_t pid_ = -1;
    UniqueFd socket_;
};

// Where the helper program is: PIXBRIDGE_HEIF_WORKER if set, else
// "pixbridge-heif-worker" beside libPhotoCodec.so.
std::string workerProgramPath();

}  // namespace photocodec

#endif  // PHOTOCODEC_WORKER_CLIENT_H
