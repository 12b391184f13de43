#include "worker_client.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "codec_log.h"

extern char** environ;

namespace photocodec {

namespace {

constexpr const char* kWorkerName = "pixbridge-heif-worker";
constexpr int kWorkerSocketFd = 3;
constexpr int64_t kStartTimeoutMs = 30000;
// Generous enough for the slowest machine: a fixed minute plus a second per
// megapixel once the helper has told the photo's size (a 200-megapixel
// photo gets over four minutes).
constexpr int64_t kBaseTimeoutMs = 60000;
constexpr int64_t kTimeoutPerMegapixelMs = 1000;
constexpr int64_t kExitGraceMs = 2000;

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

std::string describeExit(int status)
{
    if (WIFSIGNALED(status)) {
        int sig = WTERMSIG(status);
        const char* name = strsignal(sig);
        return "the helper was killed by signal " + std::to_string(sig) + (name ? std::string(" (") + name + ")" : "");
    }
    if (WIFEXITED(status)) {
        return "the helper exited with status " + std::to_string(WEXITSTATUS(status));
    }
    return "the helper ended";
}

struct SpawnFileActions {
    posix_spawn_file_actions_t actions;
    bool ready = false;
    SpawnFileActions() { ready = posix_spawn_file_actions_init(&actions) == 0; }
    ~SpawnFileActions()
    {
        if (ready) {
            posix_spawn_file_actions_destroy(&actions);
        }
    }
};

struct SpawnAttributes {
    posix_spawnattr_t attributes;
    bool ready = false;
    SpawnAttributes() { ready = posix_spawnattr_init(&attributes) == 0; }
    ~SpawnAttributes()
    {
        if (ready) {
            posix_spawnattr_destroy(&attributes);
        }
    }
};

}  // namespace

std::string workerProgramPath()
{
    if (const char* path = std::getenv("PIXBRIDGE_HEIF_WORKER")) {
        if (*path != 0) {
            return path;
        }
    }
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&workerProgramPath), &info) != 0 && info.dli_fname != nullptr) {
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
    if (pid_ > 0) {
        // Closing the socket asks the helper to leave; it is killed if it
        // does not.
        socket_.reset();
        stop(kExitGraceMs);
    }
}

bool WorkerClient::ensureRunning(std::string& error)
{
    if (pid_ > 0 && socket_) {
        // A helper that died while idle shows up as a finished child.
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == 0) {
            return true;
        }
        if (r == pid_) {
            logLine(LogLevel::Warning, describeExit(status) + " while idle; starting a new one");
        }
        pid_ = -1;
        socket_.reset();
    }
    return spawn(error);
}

bool WorkerClient::spawn(std::string& error)
{
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = std::string("cannot create the helper's socket: ") + std::strerror(errno);
        return false;
    }
    UniqueFd mine(pair[0]);
    UniqueFd theirs(pair[1]);
    // dup2() onto the same number would keep close-on-exec set; make sure
    // the helper's end is not already number 3.
    if (theirs.get() == kWorkerSocketFd) {
        theirs.reset(::fcntl(pair[1], F_DUPFD_CLOEXEC, 10));
        if (!theirs) {
            error = "cannot prepare the helper's socket";
            return false;
        }
    }

    std::string program = workerProgramPath();
    SpawnFileActions actions;
    SpawnAttributes attributes;
    if (!actions.ready || !attributes.ready) {
        error = "cannot prepare to start the helper";
        return false;
    }
    posix_spawn_file_actions_adddup2(&actions.actions, theirs.get(), kWorkerSocketFd);
    posix_spawn_file_actions_addopen(&actions.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // The helper starts with default signal handling and nothing blocked,
    // whatever the program set for itself.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setsigdefault(&attributes.attributes, &all);
    posix_spawnattr_setflags(&attributes.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string socketArg = "--socket-fd=" + std::to_string(kWorkerSocketFd);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(socketArg.c_str()), nullptr};
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions.actions, &attributes.attributes, argv, environ);
    if (rc != 0) {
        error = "cannot start the helper " + program + ": " + std::strerror(rc);
        return false;
    }
    pid_ = pid;
    theirs.reset();
    socket_ = std::move(mine);

    wire::Frame frame;
    auto deadline = wire::Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    wire::ReadStatus status = wire::readFrame(socket_.get(), deadline, frame);
    if (status != wire::ReadStatus::Ok || frame.type != wire::MessageType::Hello ||
        !wire::decodeHello(frame.payload)) {
        error = "the helper " + program + " did not start: " + stop();
        return false;
    }
    return true;
}

void WorkerClient::submit(const wire::Request& request, int sourceFd, int outputFd)
{
    Pending pending;
    pending.request = request;
    pending.source.reset(::fcntl(sourceFd, F_DUPFD_CLOEXEC, 0));
    if (outputFd >= 0) {
        pending.output.reset(::fcntl(outputFd, F_DUPFD_CLOEXEC, 0));
    }
    if (!pending.source || (outputFd >= 0 && !pending.output)) {
        Outcome failed;
        failed.failure = std::string("cannot hand the files to the helper: ") + std::strerror(errno);
        pending.outcome = std::move(failed);
    }
    requests_.push_back(std::move(pending));
    sendWaiting();
}

WorkerClient::Outcome WorkerClient::run(const wire::Request& request, int sourceFd, int outputFd)
{
    submit(request, sourceFd, outputFd);
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
            std::vector<int> fds{p.source.get()};
            if (p.output) {
                fds.push_back(p.output.get());
            }
            if (!wire::sendFrame(socket_.get(), wire::MessageType::Request, wire::encode(p.request), fds)) {
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
    const int64_t megapixels = static_cast<int64_t>(request.pixelCount / 1000000);
    return request.sentAt + std::chrono::milliseconds(baseTimeoutMs()) +
           std::chrono::milliseconds(megapixels * kTimeoutPerMegapixelMs);
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
        wire::ReadStatus status = wire::readFrame(socket_.get(), deadlineOf(oldest), frame);
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

std::string WorkerClient::stop(int64_t graceMs)
{
    socket_.reset();
    if (pid_ <= 0) {
        return "the helper is gone";
    }
    // A helper that closed its end is usually dying already: give it a
    // moment, so the report names what really ended it.
    auto until = wire::Clock::now() + std::chrono::milliseconds(graceMs);
    do {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return describeExit(status);
        }
        if (r < 0 && errno != EINTR) {
            pid_ = -1;
            return "the helper ended";
        }
        if (graceMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } while (wire::Clock::now() < until);
    ::kill(pid_, SIGKILL);
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    pid_ = -1;
    if (r < 0) {
        // The program reaps children itself (SIGCHLD ignored): nothing to
        // report, and no zombie either.
        return "the helper ended";
    }
    return describeExit(status);
}

}  // namespace photocodec
