#include "helper_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "wire_protocol.h"

extern char** environ;

namespace photocodec {

namespace {

constexpr int kWorkerSocketFd = 3;
constexpr int64_t kStartTimeoutMs = 30000;

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

HelperProcess::~HelperProcess()
{
    if (pid_ > 0) {
        // Closing the socket asks the helper to leave; it is killed if it
        // does not.
        stop(kExitGraceMs);
    }
}

HelperProcess::HelperProcess(HelperProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), socket_(std::move(other.socket_)), program_(std::move(other.program_)),
      greeted_(std::exchange(other.greeted_, false))
{
}

HelperProcess& HelperProcess::operator=(HelperProcess&& other) noexcept
{
    if (this != &other) {
        if (pid_ > 0) {
            stop(kExitGraceMs);
        }
        pid_ = std::exchange(other.pid_, -1);
        socket_ = std::move(other.socket_);
        program_ = std::move(other.program_);
        greeted_ = std::exchange(other.greeted_, false);
    }
    return *this;
}

HelperProcess HelperProcess::launch(const std::string& program, std::string& error)
{
    HelperProcess helper;
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = std::string("cannot create the helper's socket: ") + std::strerror(errno);
        return helper;
    }
    UniqueFd mine(pair[0]);
    UniqueFd theirs(pair[1]);
    // dup2() onto the same number would keep close-on-exec set; make sure
    // the helper's end is not already number 3.
    if (theirs.get() == kWorkerSocketFd) {
        theirs.reset(::fcntl(pair[1], F_DUPFD_CLOEXEC, 10));
        if (!theirs) {
            error = "cannot prepare the helper's socket";
            return helper;
        }
    }

    SpawnFileActions actions;
    SpawnAttributes attributes;
    if (!actions.ready || !attributes.ready) {
        error = "cannot prepare to start the helper";
        return helper;
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
    // A process group of its own: Ctrl+C in the terminal goes to the
    // terminal's group and must stop the program only (which then finishes
    // the photos under way), not kill the helper under them. The helper
    // still ends with the program: its socket closes then.
    posix_spawnattr_setpgroup(&attributes.attributes, 0);
    posix_spawnattr_setflags(&attributes.attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::string socketArg = "--socket-fd=" + std::to_string(kWorkerSocketFd);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(socketArg.c_str()), nullptr};
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions.actions, &attributes.attributes, argv, environ);
    if (rc != 0) {
        error = "cannot start the helper " + program + ": " + std::strerror(rc);
        return helper;
    }
    helper.pid_ = pid;
    helper.socket_ = std::move(mine);
    helper.program_ = program;
    return helper;
}

bool HelperProcess::awaitReady(std::string& error)
{
    if (greeted_) {
        return true;
    }
    if (pid_ <= 0) {
        error = "the helper is not running";
        return false;
    }
    wire::Frame frame;
    auto deadline = wire::Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    wire::ReadStatus status = wire::readFrame(socket_.get(), deadline, frame);
    if (status != wire::ReadStatus::Ok || frame.type != wire::MessageType::Hello ||
        !wire::decodeHello(frame.payload)) {
        error = "the helper " + program_ + " did not start: " + stop();
        return false;
    }
    greeted_ = true;
    return true;
}

bool HelperProcess::alive(std::string& ended)
{
    if (pid_ <= 0) {
        ended = "the helper is gone";
        return false;
    }
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) {
        return true;
    }
    ended = r == pid_ ? describeExit(status) : "the helper ended";
    pid_ = -1;
    socket_.reset();
    greeted_ = false;
    return false;
}

bool HelperProcess::fitForReuse()
{
    std::string ended;
    if (!greeted_ || !alive(ended)) {
        return false;
    }
    // Anything readable now (a message nobody waited for, or the end of
    // the stream) would be taken for the answer to the next request.
    pollfd p{socket_.get(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;
}

std::string HelperProcess::stop(int64_t graceMs)
{
    socket_.reset();
    greeted_ = false;
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
