#include "single_instance.h"

#include "run_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string SingleInstance::LockPath(const std::string& name, std::string* problem) {
    const std::string folder = run_folder::Path(problem);
    return folder.empty() ? folder : folder + name + ".lock";
}

SingleInstance::SingleInstance(const std::string& name) {
    // flock, not a pid file: the lock ends with the process however it ends,
    // so a crash never blocks the next start. O_NOFOLLOW: a link planted at
    // the name is neither followed nor its target created.
    std::string folderProblem;
    const std::string path = LockPath(name, &folderProblem);
    if (path.empty()) {
        problem_ = "no private folder for the instance lock: " + folderProblem;
        return;
    }
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
    if (st.st_nlink != 1) {
        // A second name for the file lets whoever made it hold the lock
        // from elsewhere.
        problem_ = "the instance lock " + path + " has more than one link";
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
