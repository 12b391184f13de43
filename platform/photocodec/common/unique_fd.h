// An owned file descriptor, closed when it goes out of scope.
#ifndef PHOTOCODEC_UNIQUE_FD_H
#define PHOTOCODEC_UNIQUE_FD_H

#include <unistd.h>

#include <utility>

namespace photocodec {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1)
    {
        if (fd_ >= 0) {
            // close() may report EINTR, but on Linux the descriptor is gone
            // either way: never retry it.
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_UNIQUE_FD_H
