#include "stderr_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

StderrCapture::StderrCapture(LineHandler handler) : handler_(std::move(handler)) {
    int lines[2], wake[2];
    if (pipe2(lines, O_CLOEXEC) != 0) return;
    if (pipe2(wake, O_CLOEXEC) != 0) {
        close(lines[0]);
        close(lines[1]);
        return;
    }
    savedStderr_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    // dup2 leaves descriptor 2 inheritable, so the codec's helper process
    // writes into the pipe as well.
    if (savedStderr_ < 0 || dup2(lines[1], STDERR_FILENO) < 0) {
        CloseFd(savedStderr_);
        close(lines[0]);
        close(lines[1]);
        close(wake[0]);
        close(wake[1]);
        return;
    }
    close(lines[1]);
    readEnd_ = lines[0];
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    reader_ = std::thread(&StderrCapture::ReadLoop, this);
}

StderrCapture::~StderrCapture() { Stop(); }

void StderrCapture::Mark(const std::string& line) {
    const std::string text = line + "\n";
    WriteAll(STDERR_FILENO, text.data(), text.size());
}

void StderrCapture::Stop() {
    if (!Active()) return;
    dup2(savedStderr_, STDERR_FILENO);
    const char byte = 1;
    WriteAll(wakeWrite_, &byte, 1);
    if (reader_.joinable()) reader_.join();
    CloseFd(readEnd_);
    CloseFd(wakeRead_);
    CloseFd(wakeWrite_);
    CloseFd(savedStderr_);
}

void StderrCapture::ReadLoop() {
    std::string pending;
    char buffer[4096];
    bool stopping = false;
    for (;;) {
        pollfd fds[2] = {{readEnd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        // Once asked to stop, take only what is already in the pipe: a
        // helper that still holds its end must not keep us waiting.
        const int ready = poll(fds, 2, stopping ? 0 : -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        if (fds[1].revents & POLLIN) {
            stopping = true;
            char drain;
            [[maybe_unused]] ssize_t ignored = read(wakeRead_, &drain, 1);
        }
        if (!(fds[0].revents & (POLLIN | POLLHUP))) {
            if (stopping) break;
            continue;
        }
        const ssize_t n = read(readEnd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            handler_(pending.substr(start, end - start));
        }
        pending.erase(0, start);
    }
    if (!pending.empty()) handler_(pending);
}
