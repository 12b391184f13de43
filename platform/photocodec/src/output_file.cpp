#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace photocodec {

namespace {

std::string describe(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

// The same bound as the program's other free-name rule.
constexpr unsigned kMaxNumber = 1000000;

}  // namespace

std::string OutputFile::numberedName(const std::string& name, unsigned n)
{
    if (n == 0) {
        return name;
    }
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        dot = name.size();
    }
    return name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
}

std::unique_ptr<OutputFile> OutputFile::create(const std::string& destination, std::string& error, NameTaken rule)
{
    size_t slash = destination.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : destination.substr(0, slash);
    std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
    if (folder.empty()) {
        folder = "/";
    }
    if (name.empty() || name == "." || name == "..") {
        error = "the destination names no file";
        return nullptr;
    }

    std::unique_ptr<OutputFile> file(new OutputFile());
    file->name_ = name;
    file->folderPath_ = folder == "/" ? "" : folder;
    file->rule_ = rule;
    file->folder_.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!file->folder_) {
        error = describe("the output folder cannot be opened", errno);
        return nullptr;
    }
    struct stat existing {};
    while (::fstatat(file->folder_.get(), numberedName(name, file->number_).c_str(), &existing, AT_SYMLINK_NOFOLLOW) ==
           0) {
        if (rule == NameTaken::Fail) {
            error = "the destination already exists";
            return nullptr;
        }
        if (++file->number_ >= kMaxNumber) {
            error = "no free name for the destination";
            return nullptr;
        }
    }

    // An O_TMPFILE file has no name until it is linked in, so a crash of
    // either process leaves nothing in the folder. 0666 goes through the
    // umask like any new file.
    file->fd_.reset(::openat(file->folder_.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (file->fd_) {
        return file;
    }
    int tmpError = errno;
    if (tmpError != EOPNOTSUPP && tmpError != EISDIR && tmpError != EINVAL) {
        error = describe("the output file cannot be created", tmpError);
        return nullptr;
    }

    // File systems without O_TMPFILE: a hidden name beside the destination,
    // removed again on every failure path.
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof(suffix), "%08x", random());
        std::string temp = "." + name + "." + suffix + ".part";
        file->fd_.reset(::openat(file->folder_.get(), temp.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666));
        if (file->fd_) {
            file->tempName_ = temp;
            return file;
        }
        if (errno != EEXIST) {
            error = describe("the output file cannot be created", errno);
            return nullptr;
        }
    }
    error = "no free temporary name in the output folder";
    return nullptr;
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::commit(const timespec& modified, std::string& error)
{
    if (done_ || !fd_) {
        error = "the output file is gone";
        return false;
    }
    // Keep the source's date so photos sort as they were taken; the access
    // time is now.
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1] = modified;
    if (::futimens(fd_.get(), times) != 0) {
        error = describe("cannot set the file's time", errno);
        discard();
        return false;
    }
    // The user may delete the originals right after converting: the data
    // must be on disk before the name appears.
    if (::fdatasync(fd_.get()) != 0 && errno != EINVAL && errno != EROFS) {
        error = describe("cannot write the output file", errno);
        discard();
        return false;
    }
    if (!publish(error)) {
        discard();
        return false;
    }
    done_ = true;
    fd_.reset();
    folder_.reset();
    return true;
}

bool OutputFile::publish(std::string& error)
{
    for (;;) {
        bool taken = false;
        if (publishAs(numberedName(name_, number_), taken, error)) {
            return true;
        }
        // Another writer took the name between the check in create() and
        // now: the next free number, as if it had been taken all along.
        if (!taken || rule_ != NameTaken::NextFreeNumber) {
            return false;
        }
        if (++number_ >= kMaxNumber) {
            error = "no free name for the destination";
            return false;
        }
    }
}

bool OutputFile::publishAs(const std::string& name, bool& taken, std::string& error)
{
    taken = false;
    if (tempName_.empty()) {
        char procPath[64];
        std::snprintf(procPath, sizeof(procPath), "/proc/self/fd/%d", fd_.get());
        if (::linkat(AT_FDCWD, procPath, folder_.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return true;
        }
        int linkError = errno;
        if (linkError == ENOENT) {
            // No /proc: AT_EMPTY_PATH works where the process may use it.
            if (::linkat(fd_.get(), "", folder_.get(), name.c_str(), AT_EMPTY_PATH) == 0) {
                return true;
            }
            linkError = errno;
        }
        taken = linkError == EEXIST;
        error = taken ? "the destination appeared meanwhile" : describe("cannot put the output file in place", linkError);
        return false;
    }

    // link() never replaces an existing name.
    if (::linkat(folder_.get(), tempName_.c_str(), folder_.get(), name.c_str(), 0) == 0) {
        ::unlinkat(folder_.get(), tempName_.c_str(), 0);
        tempName_.clear();
        return true;
    }
    int linkError = errno;
    if (linkError == EEXIST) {
        taken = true;
        error = "the destination appeared meanwhile";
        return false;
    }
    // File systems without hard links (FAT, exFAT): an exclusive rename.
    if (::renameat2(folder_.get(), tempName_.c_str(), folder_.get(), name.c_str(), RENAME_NOREPLACE) == 0) {
        tempName_.clear();
        return true;
    }
    int renameError = errno;
    if (renameError == EEXIST) {
        taken = true;
        error = "the destination appeared meanwhile";
        return false;
    }
    if (renameError == EINVAL || renameError == ENOSYS) {
        // Neither links nor exclusive renames: check, then rename. Another
        // program could slip in between, which is the best such a file
        // system allows.
        struct stat existing {};
        if (::fstatat(folder_.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
            taken = true;
            error = "the destination appeared meanwhile";
            return false;
        }
        if (::renameat(folder_.get(), tempName_.c_str(), folder_.get(), name.c_str()) == 0) {
            tempName_.clear();
            return true;
        }
        renameError = errno;
    }
    error = describe("cannot put the output file in place", renameError);
    return false;
}

void OutputFile::discard()
{
    if (done_) {
        return;
    }
    fd_.reset();
    if (!tempName_.empty() && folder_) {
        ::unlinkat(folder_.get(), tempName_.c_str(), 0);
        tempName_.clear();
    }
    folder_.reset();
    done_ = true;
}

}  // namespace photocodec
