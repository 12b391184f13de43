#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

std::string SingleInstance::LockPath(const std::string& name) {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    std::string dir;
    if (runtime && *runtime == '/' && access(runtime, W_OK) == 0) {
        dir = runtime;
    } else {
        const char* tmp = getenv("TMPDIR");
        dir = tmp && *tmp ? tmp : "/tmp";
    }
    if (dir.back() != '/') dir.push_back('/');
    return dir + name + ".lock";
}

SingleInstance::SingleInstance(const std::string& name) {
    // flock, not a pid file: the lock ends with the process however it ends,
    // so a crash never blocks the next start.
    const int fd = open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return;
    }
    fd_ = fd;
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) close(fd_);
}
