#include "cache_file.h"

#include <refresh/lu_refresh.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

constexpr const char* kSubFolders[] = {"quillmarsh-pix-bridge", "updates"};
// Named temporaries (where O_TMPFILE is missing) are ".<final name>.part-<n>".
constexpr const char* kPartMarker = ".part-";

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

std::string CacheRoot() {
    if (const char* cache = getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') return cache;
    if (const char* home = getenv("HOME"); home && home[0] == '/') return std::string(home) + "/.cache";
    return {};
}

bool OwnedAndClosedToWriters(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

// The cache root, made 0700 when missing. It is the user's own setting and
// may be a link (to a second disk), so it is followed; where it leads must
// be a folder of the user's that nobody else can write to. It is left as it
// is otherwise: the user's cache folder is not ours to change.
int32_t OpenRoot(const std::string& root, Fd& fd) {
    if (mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) return LU_FILE_ERROR;
    fd.reset(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return LU_FILE_ERROR;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) return LU_FILE_ERROR;
    return OwnedAndClosedToWriters(st) ? LU_OK : LU_UNSAFE_FOLDER;
}

// One of our own folders inside `parent`: made 0700 when missing, opened
// without following a link, the user's, and closed to others.
int32_t OpenPrivateChild(int parent, const char* name, Fd& fd) {
    if (mkdirat(parent, name, 0700) != 0 && errno != EEXIST) return LU_FILE_ERROR;
    fd.reset(openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) return errno == ELOOP || errno == ENOTDIR ? LU_UNSAFE_FOLDER : LU_FILE_ERROR;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) return LU_FILE_ERROR;
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return LU_UNSAFE_FOLDER;
    // Made with another umask, or by an older version: closed now. Nobody
    // else can change what is inside from here on.
    if ((st.st_mode & 077) != 0 && fchmod(fd.get(), 0700) != 0) return LU_UNSAFE_FOLDER;
    return LU_OK;
}

// The folder, opened; `path` is the folder, or the one that failed.
int32_t OpenFolder(Fd& folder, std::string& path) {
    path = CacheRoot();
    if (path.empty()) return LU_FILE_ERROR;
    if (const int32_t code = OpenRoot(path, folder); code != LU_OK) return code;
    for (const char* sub : kSubFolders) {
        path += "/";
        path += sub;
        Fd child;
        if (const int32_t code = OpenPrivateChild(folder.get(), sub, child); code != LU_OK) return code;
        folder.reset(child.release());
    }
    return LU_OK;
}

bool IsPartName(const char* name) { return name[0] == '.' && strstr(name, kPartMarker) != nullptr; }

// Named temporaries of downloads that were killed. One that is still being
// written is locked by its writer and stays.
void RemoveStaleParts(int dirFd) {
    const int listFd = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) close(listFd);
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        if (!IsPartName(entry->d_name)) continue;
        Fd file(openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat st {};
        if (file.get() < 0 || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
        if (flock(file.get(), LOCK_EX | LOCK_NB) == 0) unlinkat(dirFd, entry->d_name, 0);
    }
    closedir(dir);
}

std::string PartName(const std::string& finalName) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    return "." + finalName + kPartMarker + std::to_string(random());
}

bool SameFile(int dirFd, const std::string& name, int fd) {
    struct stat byName {}, byFd {};
    return fstatat(dirFd, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &byFd) == 0 &&
           byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

}  // namespace

int32_t CacheFile::CheckFolder(std::string& path) {
    Fd folder;
    return OpenFolder(folder, path);
}

std::string CacheFile::SafeName(const std::string& name) {
    std::string safe;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '_' || c == '+' || c == '-';
        if (ok && !(safe.empty() && c == '.')) safe += c;
        if (safe.size() >= 120) break;
    }
    return safe;
}

CacheFile::~CacheFile() { Discard(); }

int32_t CacheFile::Open(const std::string& finalName) {
    Discard();
    finalName_ = SafeName(finalName);
    if (finalName_.empty()) return LU_FILE_ERROR;
    Fd folder;
    if (const int32_t code = OpenFolder(folder, folder_); code != LU_OK) return code;
    dirFd_ = folder.release();
    RemoveStaleParts(dirFd_);

    // Unnamed until verified: a download that is killed leaves nothing. It
    // is named through /proc (Commit), so only where /proc is there.
    if (access("/proc/self/fd", X_OK) == 0) fd_ = openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
        unnamed_ = true;
        flock(fd_, LOCK_EX);
        return LU_OK;
    }
    // A file system without O_TMPFILE: a named temporary, locked while it is
    // written so that another download's clean-up leaves it alone.
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        tempName_ = PartName(finalName_);
        fd_ = openat(dirFd_, tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            if (errno != EEXIST) break;
            continue;
        }
        // Another clean-up may have taken the name between the two calls.
        if (flock(fd_, LOCK_EX) != 0 || !SameFile(dirFd_, tempName_, fd_)) {
            close(fd_);
            fd_ = -1;
        }
    }
    if (fd_ < 0) {
        tempName_.clear();
        Discard();
        return LU_FILE_ERROR;
    }
    return LU_OK;
}

bool CacheFile::Write(const char* data, size_t size) {
    while (size > 0 && fd_ >= 0) {
        const ssize_t written = write(fd_, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return fd_ >= 0;
}

int32_t CacheFile::Commit() {
    if (fd_ < 0) return LU_FILE_ERROR;
    bool named = fsync(fd_) == 0;
    if (named && unnamed_) {
        // Linking through /proc needs no privilege, unlike AT_EMPTY_PATH.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        named = linkat(AT_FDCWD, self.c_str(), dirFd_, finalName_.c_str(), AT_SYMLINK_FOLLOW) == 0;
        if (!named && errno == EEXIST) {
            // An earlier download of the same name: replaced in one step.
            tempName_ = PartName(finalName_);
            named = linkat(AT_FDCWD, self.c_str(), dirFd_, tempName_.c_str(), AT_SYMLINK_FOLLOW) == 0 &&
                    renameat(dirFd_, tempName_.c_str(), dirFd_, finalName_.c_str()) == 0;
            if (!named) unlinkat(dirFd_, tempName_.c_str(), 0);
            tempName_.clear();
        }
    } else if (named) {
        named = renameat(dirFd_, tempName_.c_str(), dirFd_, finalName_.c_str()) == 0;
        if (named) tempName_.clear();
    }
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    if (!named || !closed) {
        if (named) unlinkat(dirFd_, finalName_.c_str(), 0);
        Discard();
        return LU_FILE_ERROR;
    }
    path_ = folder_ + "/" + finalName_;
    Discard();
    return LU_OK;
}

void CacheFile::Discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (dirFd_ >= 0) {
        if (!tempName_.empty()) unlinkat(dirFd_, tempName_.c_str(), 0);
        close(dirFd_);
    }
    dirFd_ = -1;
    unnamed_ = false;
    tempName_.clear();
}
