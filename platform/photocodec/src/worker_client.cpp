#include "worker_client.h"

#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "codec_log.h"
#include "spare_helper.h"

namespace photocodec {

namespace {

constexpr const char* kWorkerName = "pixbridge-heif-worker";
// Generous enough for the slowest machine: a fixed minute plus a second per
// megapixel once the helper has told the photo's size (a 200-megapixel
// photo gets over four minutes; see WorkerClient::timeLimitMs).
constexpr int64_t kBaseTimeoutMs = 60000;
constexpr int64_t kExitGraceMs = HelperProcess::kExitGraceMs;

int64_t baseTimeoutMs()
{
    // Tests shorten the limit to exercise a hanging helper.
    if (const char* text = std::getenv("PIXBRIDGE_HEIF_WORKER_TIMEOUT_MS")) {
        char* end = nullptr;
        long long value = std::strtoll(text, &end, 10);
        if (end != text && value > 0) {
            return value;
        }
    }
    return kBaseTimeoutMs;
}

}  // namespace

std::string workerProgramPath()
{
    if (const char* path = std::getenv("PIXBRIDGE_HEIF_WORKER")) {
        if (*path != 0) {
            return path;
        }
    }
    return bundledWorkerPath();
}

std::string bundledWorkerPath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&bundledWorkerPath), &info) != 0 && info.dli_fname != nullptr) {
        std::string library = info.dli_fname;
        size_t slash = library.find_last_of('/');
        if (slash != std::string::npos) {
            return library.substr(0, slash + 1) + kWorkerName;
        }
    }
    return kWorkerName;
}

WorkerClient::~WorkerClient()
{
    if (helper_.running() && requests_.empty()) {
        // Idle and well: the next decoder starts with it.
        spare_helper::giveBack(std::move(helper_));
    }
    // Otherwise the helper is asked to leave, and killed if it does not.
}

bool WorkerClient::ensureRunning(std::string& error)
{
    if (helper_.running()) {
        std::string ended;
        if (helper_.alive(ended)) {
            return true;
        }
        // It died while idle.
        logLine(LogLevel::Warning, ended + " while idle; starting a new one");
    }
    const std::string program = workerProgramPath();
    helper_ = spare_helper::take(program);
    if (!helper_.running()) {
        helper_ = HelperProcess::launch(program, error);
        if (!helper_.running()) {
            return false;
        }
    }
    return helper_.awaitReady(error);
}

void WorkerClient::submit(const wire::Request& request, const std::vector<int>& fds)
{
    Pending pending;
    pending.request = request;
    for (int fd : fds) {
        pending.fds.emplace_back(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        if (!pending.fds.back() || pending.fds.size() > wire::kMaxFdsPerFrame) {
            Outcome failed;
            failed.failure = std::string("cannot hand the files to the helper: ") + std::strerror(errno);
            pending.outcome = std::move(failed);
            break;
        }
    }
    requests_.push_back(std::move(pending));
    sendWaiting();
}

WorkerClient::Outcome WorkerClient::run(const wire::Request& request, const std::vector<int>& fds)
{
    submit(request, fds);
    return collect();
}

size_t WorkerClient::underWay() const
{
    size_t n = 0;
    for (const Pending& p : requests_) {
        n += p.sent && !p.outcome ? 1 : 0;
    }
    return n;
}

void WorkerClient::sendWaiting()
{
    for (;;) {
        bool lost = false;
        for (Pending& p : requests_) {
            if (p.outcome) {
                continue;
            }
            if (p.sent) {
                if (p.alone) {
                    return;
                }
                continue;
            }
            const size_t busy = underWay();
            if (busy >= kRequestsAtOnce || (p.alone && busy > 0)) {
                return;
            }
            std::string error;
            if (!ensureRunning(error)) {
                Outcome failed;
                failed.failure = error;
                p.outcome = std::move(failed);
                continue;
            }
            p.request.sequence = nextSequence_++;
            std::vector<int> fds;
            for (const UniqueFd& fd : p.fds) {
                fds.push_back(fd.get());
            }
            if (!wire::sendFrame(helper_.socket(), wire::MessageType::Request, wire::encode(p.request), fds)) {
                // This one never reached the helper; those under way did.
                const std::string why = "the helper stopped listening: " + stop(kExitGraceMs);
                if (p.sendFailed) {
                    Outcome failed;
                    failed.failure = why;
                    p.outcome = std::move(failed);
                }
                p.sendFailed = true;
                helperLost(why);
                lost = true;
                break;
            }
            p.sent = true;
            p.sentAt = wire::Clock::now();
            p.pixelCount = 0;
            if (p.alone) {
                return;
            }
        }
        if (!lost) {
            return;
        }
    }
}

void WorkerClient::helperLost(const std::string& why)
{
    for (Pending& p : requests_) {
        if (!p.sent || p.outcome) {
            continue;
        }
        p.sent = false;
        if (p.request.decoders == wire::DecoderChoice::PreferFfmpeg) {
            logLine(LogLevel::Warning, why + "; trying again with libde265");
            p.request.decoders = wire::DecoderChoice::Libde265Only;
            p.alone = true;
        } else {
            Outcome failed;
            failed.failure = why;
            p.outcome = std::move(failed);
        }
    }
}

void WorkerClient::oldestTimedOut(int64_t waitedMs)
{
    const std::string ended = stop();
    bool oldest = true;
    for (Pending& p : requests_) {
        if (!p.sent || p.outcome) {
            continue;
        }
        p.sent = false;
        if (oldest) {
            Outcome failed;
            failed.failure = "the helper did not finish in " + std::to_string(waitedMs / 1000) + " s; " + ended;
            p.outcome = std::move(failed);
            oldest = false;
        }
    }
}

WorkerClient::Pending* WorkerClient::findSent(uint32_t sequence)
{
    for (Pending& p : requests_) {
        if (p.sent && !p.outcome && p.request.sequence == sequence) {
            return &p;
        }
    }
    return nullptr;
}

wire::Clock::time_point WorkerClient::deadlineOf(const Pending& request) const
{
    return request.sentAt + std::chrono::milliseconds(timeLimitMs(baseTimeoutMs(), request.pixelCount));
}

WorkerClient::Outcome WorkerClient::collect()
{
    if (requests_.empty()) {
        Outcome none;
        none.failure = "no request was made";
        return none;
    }
    for (;;) {
        Pending& oldest = requests_.front();
        if (!oldest.outcome) {
            sendWaiting();
        }
        if (oldest.outcome) {
            Outcome outcome = std::move(*oldest.outcome);
            requests_.pop_front();
            // Its place under way goes to the next one at once.
            sendWaiting();
            return outcome;
        }
        if (!oldest.sent) {
            // Cannot happen: the oldest is always free to go.
            Outcome failed;
            failed.failure = "the request could not be sent";
            oldest.outcome = std::move(failed);
            continue;
        }

        wire::Frame frame;
        wire::ReadStatus status = wire::readFrame(helper_.socket(), deadlineOf(oldest), frame);
        if (status == wire::ReadStatus::TimedOut) {
            if (wire::Clock::now() < deadlineOf(oldest)) {
                continue;  // its size came in and moved the limit
            }
            oldestTimedOut(
                std::chrono::duration_cast<std::chrono::milliseconds>(wire::Clock::now() - oldest.sentAt).count());
            continue;
        }
        if (status != wire::ReadStatus::Ok) {
            const char* why = status == wire::ReadStatus::Malformed ? "the helper sent a broken message"
                                                                    : "the helper went away";
            helperLost(std::string(why) + ": " + stop(status == wire::ReadStatus::Closed ? kExitGraceMs : 0));
            continue;
        }
        switch (frame.type) {
        case wire::MessageType::Progress:
            if (auto progress = wire::decodeProgress(frame.payload)) {
                if (Pending* p = findSent(progress->sequence)) {
                    p->pixelCount = progress->pixelCount;
                }
                continue;
            }
            break;
        case wire::MessageType::Log:
            if (auto line = wire::decodeLog(frame.payload)) {
                logLine(LogLevel::Info, *line);
                continue;
            }
            break;
        case wire::MessageType::Result:
            if (auto result = wire::decodeResult(frame.payload)) {
                if (result->sequence != oldest.request.sequence) {
                    break;  // answers come in order, or not at all
                }
                Outcome outcome;
                outcome.result = std::move(*result);
                outcome.ok = outcome.result.ok;
                outcome.answered = true;
                if (!outcome.ok) {
                    outcome.failure = outcome.result.message;
                }
                oldest.outcome = std::move(outcome);
                continue;
            }
            break;
        default:
            break;
        }
        helperLost("the helper sent an unexpected message: " + stop());
    }
}

}  // namespace photocodec
