#include "bedrock/bas_dbg_report.h"

#include "bedrock/bas_utility_string.h"
#include "bedrock/bas_zip.h"

#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Everything the signal handler touches is prepared at registration: it may
// not allocate, lock or format with the C library.
char dumpPathBuf[PATH_MAX];
char programBuf[PATH_MAX];
char argumentBuf[64];
std::atomic<bool> exiting{false};
std::atomic<bool> inCrash{false};
BASDbgReport::CrashHandler crashHandler = nullptr;
BASDbgReport::ExtraFileHandler extraFileHandler = nullptr;
char altStack[64 * 1024];
std::string reportRoot;

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void WriteText(int fd, const char* text) {
    size_t n = strlen(text);
    while (n > 0) {
        const ssize_t w = write(fd, text, n);
        if (w <= 0) return;
        text += w;
        n -= static_cast<size_t>(w);
    }
}

void WriteNumber(int fd, unsigned long value, int base) {
    char buf[32];
    int i = sizeof buf - 1;
    buf[i] = '\0';
    do {
        const int digit = static_cast<int>(value % base);
        buf[--i] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        value /= base;
    } while (value && i > 0);
    WriteText(fd, buf + i);
}

void OnFatalSignal(int sig, siginfo_t* info, void*) {
    if (exiting.load()) {
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    if (inCrash.exchange(true)) {
        // Another thread is writing the report; it ends the process.
        for (;;) pause();
    }
    // Never follow a link someone else planted at the dump's name.
    const int fd = open(dumpPathBuf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        // The report helper packs the logs of this process by its id.
        WriteText(fd, "pid ");
        WriteNumber(fd, static_cast<unsigned long>(getpid()), 10);
        WriteText(fd, "\nsignal ");
        WriteNumber(fd, static_cast<unsigned long>(sig), 10);
        WriteText(fd, " (");
        WriteText(fd, sig == SIGSEGV ? "SIGSEGV" : sig == SIGBUS ? "SIGBUS" : sig == SIGFPE ? "SIGFPE"
                      : sig == SIGILL ? "SIGILL" : "SIGABRT");
        WriteText(fd, ")\naddress 0x");
        WriteNumber(fd, reinterpret_cast<unsigned long>(info ? info->si_addr : nullptr), 16);
        WriteText(fd, "\nbacktrace:\n");
        void* frames[64];
        const int count = backtrace(frames, 64);
        backtrace_symbols_fd(frames, count, fd);
        close(fd);
    }
    // The report helper: the program again, in a process of its own.
    // _Fork, not fork: fork runs the atfork handlers and takes malloc's and
    // stdio's locks, which a crash inside malloc still holds.
    const pid_t pid = _Fork();
    if (pid == 0) {
        char* argv[] = {programBuf, argumentBuf, dumpPathBuf, nullptr};
        execve(programBuf, argv, environ);
        _exit(127);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

std::string Utf8(const std::u16string& s) { return BASUtilityString::Utf16ToUtf8(s); }

bool EndsWithZip(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return tail == ".zip";
}

bool IsRegularIn(int folderFd, const std::string& name) {
    struct stat st{};
    return fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The process id of a dump's first line "pid N"; 0 when there is none.
long CrashedProcessId(int folderFd, const std::string& dumpName) {
    const int fd = openat(folderFd, dumpName.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return 0;
    char head[64] = {};
    const ssize_t n = pread(fd, head, sizeof head - 1, 0);
    close(fd);
    if (n <= 4 || strncmp(head, "pid ", 4) != 0) return 0;
    char* end = nullptr;
    const long pid = strtol(head + 4, &end, 10);
    return end != head + 4 && *end == '\n' && pid > 0 ? pid : 0;
}

}  // namespace

std::vector<std::string> BASDbgReport::CrashedRunFiles(int folderFd, const std::string& dumpName) {
    std::vector<std::string> names;
    if (!IsRegularIn(folderFd, dumpName)) return names;
    names.push_back(dumpName);
    const long pid = CrashedProcessId(folderFd, dumpName);
    if (pid <= 0) return names;
    const int listFd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return names;
    DIR* dir = fdopendir(listFd);
    if (!dir) {
        close(listFd);
        return names;
    }
    const std::string suffix = "." + std::to_string(pid);
    std::vector<std::string> logs;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == dumpName || EndsWithZip(name) || !EndsWith(name, suffix)) continue;
        if (IsRegularIn(folderFd, name)) logs.push_back(name);  // no links
    }
    closedir(dir);
    std::sort(logs.begin(), logs.end());
    names.insert(names.end(), logs.begin(), logs.end());
    return names;
}

bool BASDbgReport::RegisterCrashFilter(const std::u16string& dumpPath, CrashHandler crash, ExtraFileHandler extra) {
    crashHandler = crash;
    extraFileHandler = extra;
    const std::string path = Utf8(dumpPath);
    if (path.size() >= sizeof dumpPathBuf) return false;
    memcpy(dumpPathBuf, path.c_str(), path.size() + 1);
    const ssize_t n = readlink("/proc/self/exe", programBuf, sizeof programBuf - 1);
    if (n <= 0) return false;
    programBuf[n] = '\0';
    strncpy(argumentBuf, kReportArgument, sizeof argumentBuf - 1);

    // backtrace() loads its unwinder on first use; do that now, not in the
    // handler.
    void* warm[4];
    backtrace(warm, 4);

    stack_t stack{};
    stack.ss_sp = altStack;
    stack.ss_size = sizeof altStack;
    sigaltstack(&stack, nullptr);  // a stack overflow still gets a handler
    struct sigaction action{};
    action.sa_sigaction = &OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    bool ok = true;
    for (int sig : kSignals) ok = sigaction(sig, &action, nullptr) == 0 && ok;
    return ok;
}

void BASDbgReport::SetReportRoot(const std::u16string& folder) { reportRoot = Utf8(folder); }

void BASDbgReport::SetExiting() { exiting.store(true); }

bool BASDbgReport::IsExiting() { return exiting.load(); }

std::string BASDbgReport::ResolveInsideReportRoot(const std::string& folder) {
    if (reportRoot.empty() || folder.empty()) return {};
    char real[PATH_MAX];
    if (!realpath(reportRoot.c_str(), real)) return {};
    std::string root = real;
    // The root must be this user's and closed to everyone else: then nobody
    // else can have put a link or a folder of theirs anywhere below it.
    struct stat st{};
    if (lstat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 022) != 0) {
        return {};
    }
    if (!realpath(folder.c_str(), real)) return {};
    std::string inside = real;
    if (root.back() != '/') root.push_back('/');
    if (inside.back() != '/') inside.push_back('/');
    // Compared as whole path components: "/a/logs-other/" is not inside "/a/logs/".
    if (inside.compare(0, root.size(), root) != 0) return {};
    return inside;
}

int BASDbgReport::RunCrashReport(const std::u16string& dumpPathWide, CrashHandler onCrash, ExtraFileHandler onExtra) {
    const std::string dumpPath = Utf8(dumpPathWide);
    const size_t slash = dumpPath.rfind('/');
    if (slash == std::string::npos) return 1;
    const std::string name = dumpPath.substr(slash + 1);
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".dmp") != 0) return 1;
    // The helper empties the folder it reports on: only a real dump in a
    // real folder inside the report root, however the path was spelt.
    const std::string folder = ResolveInsideReportRoot(dumpPath.substr(0, slash + 1));
    if (folder.empty()) return 1;
    const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) return 1;
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return 1;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dirCloser(dir, closedir);
    struct stat dump{};
    if (fstatat(dirFd, name.c_str(), &dump, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(dump.st_mode) ||
        dump.st_uid != geteuid()) {
        return 1;
    }

    // Pack what the crashed run left: the dump, the extra file, its logs.
    std::vector<BASZipEntry> entries;
    for (const std::string& entryName : CrashedRunFiles(dirFd, name)) entries.push_back({entryName, folder + entryName});
    if (onExtra) {
        char16_t* extra = nullptr;
        onExtra(BASUtilityString::Utf8ToUtf16(folder).c_str(), &extra);
        const std::string extraPath = extra ? Utf8(extra) : std::string();
        BASUtilityString::Free(extra);
        // Only a file the handler wrote into this folder.
        const std::string extraName = extraPath.substr(extraPath.rfind('/') + 1);
        if (extraPath == folder + extraName && !extraName.empty() && IsRegularIn(dirFd, extraName)) {
            entries.push_back({extraName, extraPath});
        }
    }
    const std::string stem = name.substr(0, name.size() - 4);
    // Without the archive the handler must not clear the folder.
    if (!BASWriteZip(folder + stem + ".zip", entries)) return 1;

    if (onCrash) onCrash(BASUtilityString::Utf8ToUtf16(folder + name).c_str());
    return 0;
}
