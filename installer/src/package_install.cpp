#include "package_install.h"

#include <bedrock/unique_fd.h>

#include <openssl/evp.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace package_install {
namespace {

// The largest package the program downloads.
constexpr off_t kMaxPackageBytes = 500LL * 1024 * 1024;
// A disk folder: /tmp and /run may be small memory file systems.
constexpr const char* kWorkFolderPattern = "/var/tmp/pixbridge-update-XXXXXX";
constexpr const char* kSafePath = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

void Say(const char* format, const std::string& what, const char* detail = nullptr) {
    fprintf(stderr, "pixbridge-install-update: ");
    fprintf(stderr, format, what.c_str());
    if (detail) fprintf(stderr, ": %s", detail);
    fprintf(stderr, "\n");
}

using Fd = bedrock::UniqueFd;

// A folder of root's alone for the copy, removed with what it holds.
class WorkFolder {
public:
    WorkFolder() : path_(kWorkFolderPattern) {
        if (!mkdtemp(path_.data())) path_.clear();
    }
    ~WorkFolder() {
        if (path_.empty()) return;
        if (!file_.empty()) unlink(file_.c_str());
        rmdir(path_.c_str());
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    bool Made() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    // The file inside that the folder removes too.
    std::string File(const std::string& name) {
        file_ = path_ + "/" + name;
        return file_;
    }

private:
    std::string path_;
    std::string file_;
};

struct DigestDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::string Hex(const unsigned char* bytes, unsigned int size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Copies `package` (a regular file, never through a link) to `copy` and
// returns the SHA-256 of what was written; empty on failure.
std::string CopyAndDigest(const std::string& package, const std::string& copy) {
    Fd source(open(package.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (source.get() < 0 || fstat(source.get(), &st) != 0) {
        Say("cannot open %s", package, strerror(errno));
        return {};
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxPackageBytes) {
        Say("%s is not a package file", package);
        return {};
    }
    Fd target(open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    std::unique_ptr<EVP_MD_CTX, DigestDeleter> digest(EVP_MD_CTX_new());
    if (target.get() < 0 || !digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
        Say("cannot make %s", copy, strerror(errno));
        return {};
    }
    std::vector<char> buffer(1 << 20);
    off_t copied = 0;
    for (;;) {
        const ssize_t got = read(source.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            Say("cannot read %s", package, strerror(errno));
            return {};
        }
        if (got == 0) break;
        copied += got;
        // The file may grow while it is read.
        if (copied > kMaxPackageBytes) {
            Say("%s is not a package file", package);
            return {};
        }
        EVP_DigestUpdate(digest.get(), buffer.data(), static_cast<size_t>(got));
        if (!WriteAll(target.get(), buffer.data(), static_cast<size_t>(got))) {
            Say("cannot write %s", copy, strerror(errno));
            return {};
        }
    }
    if (!target.Close()) {
        Say("cannot write %s", copy, strerror(errno));
        return {};
    }
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(digest.get(), value, &size) != 1) return {};
    return Hex(value, size);
}

// Runs `argv` with `environment` and waits; the exit code, or -1. With
// `output`, the program's standard output is read into it.
int Run(const std::vector<std::string>& argv, const std::vector<std::string>& environment, std::string* output) {
    std::vector<std::string> texts = argv;
    std::vector<char*> args;
    for (std::string& text : texts) args.push_back(text.data());
    args.push_back(nullptr);
    std::vector<std::string> envTexts = environment;
    std::vector<char*> env;
    for (std::string& text : envTexts) env.push_back(text.data());
    env.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (output && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    Fd readEnd(pipeFds[0]);
    Fd writeEnd(pipeFds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output) posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Close();
    if (spawned != 0) {
        Say("cannot start %s", argv[0], strerror(spawned));
        return -1;
    }
    if (output) {
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(readEnd.get(), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            if (output->size() < 65536) output->append(buffer, static_cast<size_t>(got));
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The installers' environment: a safe PATH, no questions, and the user's
// language for their messages.
std::vector<std::string> InstallEnvironment() {
    std::vector<std::string> environment{kSafePath, "DEBIAN_FRONTEND=noninteractive"};
    for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"}) {
        const char* value = getenv(name);
        // Locale names only: letters, digits, "_.@-:".
        bool plain = value && *value && strlen(value) < 64;
        for (const char* c = value; plain && *c; ++c) {
            plain = isalnum(static_cast<unsigned char>(*c)) || strchr("_.@-:", *c) != nullptr;
        }
        if (plain) environment.push_back(std::string(name) + "=" + value);
    }
    return environment;
}

bool Runnable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

}  // namespace

Outcome Install(const std::string& package, const std::string& sha256, const Tools& tools) {
    std::string expected = sha256;
    bool hex = expected.size() == 64;
    for (char& c : expected) {
        hex = hex && isxdigit(static_cast<unsigned char>(c));
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    if (!hex || package.empty() || package.front() != '/') {
        Say("%s", "usage: pixbridge-install-update /PATH/TO/PACKAGE.deb SHA256");
        return kBadArguments;
    }

    WorkFolder folder;
    if (!folder.Made()) {
        Say("cannot make a folder like %s", kWorkFolderPattern, strerror(errno));
        return kUnreadable;
    }
    const std::string copy = folder.File(std::string(kPackageName) + ".deb");
    const std::string actual = CopyAndDigest(package, copy);
    if (actual.empty()) return kUnreadable;
    if (actual != expected) {
        Say("%s is not the published update (its SHA-256 differs)", package);
        return kDigestMismatch;
    }
    std::string name;
    const int inspected = Run({tools.dpkgDeb, "--field", copy, "Package"}, {kSafePath, "LC_ALL=C"}, &name);
    while (!name.empty() && isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
    if (inspected != 0 || name != kPackageName) {
        Say("%s is not a package of Quillmarsh Pix Bridge", package);
        return kNotOurPackage;
    }

    // apt-get fetches what a newer version may need besides; dpkg where
    // there is no apt.
    std::vector<std::string> command;
    if (Runnable(tools.aptGet)) {
        command = {tools.aptGet, "install", "-y", copy};
    } else if (Runnable(tools.dpkg)) {
        command = {tools.dpkg, "-i", copy};
    } else {
        Say("%s", "neither apt-get nor dpkg can be run");
        return kInstallFailed;
    }
    const int installed = Run(command, InstallEnvironment(), nullptr);
    if (installed != 0) {
        Say("%s failed", command.front());
        return kInstallFailed;
    }
    return kInstalled;
}

}  // namespace package_install
