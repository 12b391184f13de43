#include "cache_file.h"

#include <refresh/lu_refresh.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>

namespace {

constexpr const char* kSubFolders[] = {"quillmarsh-pix-bridge", "updates"};

bool MakePrivateFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) == 0) return true;
    return errno == EEXIST;
}

}  // namespace

std::string CacheFile::Folder() {
    std::string base;
    if (const char* cache = getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') {
        base = cache;
    } else if (const char* home = getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.cache";
    } else {
        return {};
    }
    if (!MakePrivateFolder(base)) return {};
    std::string folder = base;
    for (const char* sub : kSubFolders) {
        folder += "/";
        folder += sub;
        if (!MakePrivateFolder(folder)) return {};
    }
    return folder;
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
    folder_ = Folder();
    if (finalName_.empty() || folder_.empty()) return LU_FILE_ERROR;
    // The folder itself must be ours and no link: the file is handed to the
    // package installer later.
    dirFd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (dirFd_ < 0 || fstat(dirFd_, &info) != 0 || info.st_uid != geteuid() ||
        ((info.st_mode & 077) != 0 && fchmod(dirFd_, 0700) != 0)) {
        Discard();
        return LU_FILE_ERROR;
    }
    std::random_device random;
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        tempName_ = "." + finalName_ + ".part-" + std::to_string(random());
        fd_ = openat(dirFd_, tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ < 0 && errno != EEXIST) break;
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
    const bool flushed = fsync(fd_) == 0;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    if (!flushed || !closed || renameat(dirFd_, tempName_.c_str(), dirFd_, finalName_.c_str()) != 0) {
        Discard();
        return LU_FILE_ERROR;
    }
    tempName_.clear();
    path_ = folder_ + "/" + finalName_;
    close(dirFd_);
    dirFd_ = -1;
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
    tempName_.clear();
}
