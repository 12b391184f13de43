#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The runtime folder is the user's own by the XDG rules; one that is not
// (a stale or hostile value) is not used.
bool IsOwnFolder(const char* dir) {
    struct stat st{};
    return dir && *dir == '/' && stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           access(dir, W_OK) == 0;
}

}  // namespace

std::string SingleInstance::LockPath(const std::string& name) {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (IsOwnFolder(runtime)) {
        std::string dir = runtime;
        if (dir.back() != '/') dir.push_back('/');
        return dir + name + ".lock";
    }
    // A shared folder: the user id in the name keeps users apart.
    const char* tmp = getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : "/tmp";
    if (dir.back() != '/') dir.push_back('/');
    return dir + name + "-" + std::to_string(static_cast<unsigned long>(geteuid())) + ".lock";
}

SingleInstance::SingleInstance(const std::string& name) {
    // flock, not a pid file: the lock ends with the process however it ends,
    // so a crash never blocks the next start. O_NOFOLLOW: a link planted at
    // the name is neither followed nor its target created.
    const std::string path = LockPath(name);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) {
        problem_ = "cannot open the instance lock " + path + ": " + strerror(errno);
        return;
    }
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        // Someone else's lock file proves nothing about our copies, and its
        // owner could hold it to keep us from starting.
        problem_ = "the instance lock " + path + " is not a file of this user";
        close(fd);
        return;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) {
            heldElsewhere_ = true;
        } else {
            problem_ = "cannot lock " + path + ": " + strerror(error);
        }
        return;
    }
    fd_ = fd;
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) close(fd_);
}
