#include "log_folder.h"

#include "product_identity.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace log_folder {
namespace {

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void reset(int f) {
        if (fd >= 0) close(fd);
        fd = f;
    }
};

std::string Describe(const std::string& path, const char* what, int error) {
    return path + ": " + what + (error ? std::string(": ") + strerror(error) : std::string());
}

// The folder `name` inside `parent`, made when missing, opened without
// following a link, and checked to be ours and closed to everyone else.
int OpenPrivateChild(int parent, const std::string& name, const std::string& path, std::string* error) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        if (error) *error = Describe(path, "not a plain folder name", 0);
        return -1;
    }
    if (mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        if (error) *error = Describe(path, "cannot be made", errno);
        return -1;
    }
    const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = Describe(path, errno == ELOOP || errno == ENOTDIR ? "is a link or not a folder" : "cannot be opened", errno);
        return -1;
    }
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error) *error = Describe(path, "is not a folder", 0);
        close(fd);
        return -1;
    }
    if (st.st_uid != geteuid()) {
        if (error) *error = Describe(path, "belongs to another user", 0);
        close(fd);
        return -1;
    }
    if ((st.st_mode & 077) != 0 && fchmod(fd, 0700) != 0) {
        if (error) *error = Describe(path, "cannot be made private", errno);
        close(fd);
        return -1;
    }
    return fd;
}

std::string TempBase() { return BASUtilityString::Utf16ToUtf8(BASUtilitySys::GetTempDir()); }

std::string StateBase() {
    if (const char* state = getenv("XDG_STATE_HOME"); state && *state == '/') return state;
    const char* home = getenv("HOME");
    return std::string(home && *home == '/' ? home : "/") + "/.local/state";
}

}  // namespace

std::string MakePrivateFolder(const std::string& base, const std::vector<std::string>& components, std::string* error) {
    // The base is the user's own choice (TMPDIR, XDG_STATE_HOME, HOME); its
    // real path is used so that the folder handed out holds no link.
    char real[PATH_MAX];
    if (!realpath(base.c_str(), real)) {
        if (error) *error = Describe(base, "cannot be found", errno);
        return {};
    }
    std::string path = real;
    Fd current(open(real, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (current.fd < 0) {
        if (error) *error = Describe(path, "cannot be opened", errno);
        return {};
    }
    for (const std::string& name : components) {
        if (path.back() != '/') path.push_back('/');
        path += name;
        const int next = OpenPrivateChild(current.fd, name, path, error);
        if (next < 0) return {};
        current.reset(next);
    }
    return path;
}

Folders MakePrivateLogFolder(const std::string& day) {
    Folders folders;
    const std::string brand = product::kBrand;
    const std::string uid = std::to_string(static_cast<unsigned long>(geteuid()));
    struct Candidate {
        std::string base;
        std::vector<std::string> rootComponents;
        bool makeBase;
    };
    const Candidate candidates[] = {
        {TempBase(), {brand}, false},
        {TempBase(), {brand + "-" + uid}, false},
        {StateBase(), {brand, "logs"}, true},
    };
    for (const Candidate& candidate : candidates) {
        std::string error;
        // The state folder's parents are ordinary folders of the home (0755
        // is usual there); only the program's own folders must be private.
        if (candidate.makeBase) BASUtilitySys::MakeDirs(BASUtilityString::Utf8ToUtf16(candidate.base + "/"));
        const std::string root = MakePrivateFolder(candidate.base, candidate.rootComponents, &error);
        if (root.empty()) {
            folders.notes.push_back(error);
            continue;
        }
        const std::string dayFolder = MakePrivateFolder(root, {day}, &error);
        if (dayFolder.empty()) {
            folders.notes.push_back(error);
            continue;
        }
        folders.logFolder = dayFolder;
        folders.reportRoot = root + "/";
        return folders;
    }
    // mkdtemp makes a new 0700 folder of ours, never through a link.
    char real[PATH_MAX];
    std::string pattern = std::string(realpath(TempBase().c_str(), real) ? real : "/tmp") + "/" + brand + "-" + uid + "-XXXXXX";
    if (mkdtemp(pattern.data())) {
        folders.logFolder = pattern;
        folders.reportRoot = pattern + "/";
    } else {
        folders.notes.push_back(Describe(pattern, "cannot be made", errno));
    }
    return folders;
}

}  // namespace log_folder
