// An owned file descriptor, closed when it goes out of scope. Header only:
// the root install helper uses it without linking the library.
#ifndef BEDROCK_UNIQUE_FD_H
#define BEDROCK_UNIQUE_FD_H

#include <unistd.h>

namespace bedrock {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    // Closes now, reporting a failed close (a full disk shows there).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || close(fd) == 0;
    }

private:
    int fd_;
};

}  // namespace bedrock

#endif  // BEDROCK_UNIQUE_FD_H
