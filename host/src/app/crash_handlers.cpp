#include "crash_handlers.h"

#include "system_summary.h"

#include <bedrock/bas_dbg_report.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <lingua/wx_locale.h>

#include <fcntl.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace crash {
namespace {

std::atomic<bool> loggingDown{false};
AlertPresenter presenter;

}  // namespace

bool ShutdownLoggingOnce() {
    if (loggingDown.exchange(true)) return false;
    if (google::IsGoogleLoggingInitialized()) google::ShutdownGoogleLogging();
    return true;
}

void ExtraFileHandler(const char16_t* folder, char16_t** extraFile) {
    if (extraFile) *extraFile = nullptr;
    // Written only inside the report root, as a new file of our own: never
    // through a link, never over a file that someone placed there.
    const std::string dir = BASDbgReport::ResolveInsideReportRoot(BASUtilityString::Utf16ToUtf8(folder ? folder : u""));
    if (dir.empty()) return;
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) return;
    const char* name = kExtraFileName;
    int fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat st{};
    if (fd < 0 && errno == EEXIST && fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
        // A summary left by an earlier report that was never cleared away.
        if (unlinkat(dirFd, name, 0) == 0) fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    close(dirFd);
    if (fd < 0) return;
    const std::string summary = BuildSystemSummary();
    bool ok = true;
    for (size_t done = 0; done < summary.size();) {
        const ssize_t n = write(fd, summary.data() + done, summary.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    if (ok && extraFile) *extraFile = BASUtilityString::ConvertUtf8ToUnicode((dir + name).c_str());
}

void RemoveCrashedRunFiles(const std::string& dumpPath) {
    const size_t slash = dumpPath.rfind('/');
    if (slash == std::string::npos) return;
    const std::string dir = BASDbgReport::ResolveInsideReportRoot(dumpPath.substr(0, slash + 1));
    if (dir.empty()) return;
    // Through a descriptor of the folder itself: a link swapped in for the
    // folder or for any path above it afterwards changes nothing.
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) return;
    std::vector<std::string> names = BASDbgReport::CrashedRunFiles(dirFd, dumpPath.substr(slash + 1));
    if (!names.empty()) names.push_back(kExtraFileName);
    for (const std::string& name : names) {
        struct stat st{};
        // Regular files only: a link of the same name stays, and so does its target.
        if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) unlinkat(dirFd, name.c_str(), 0);
    }
    close(dirFd);
}

void SetAlertPresenter(AlertPresenter show) { presenter = std::move(show); }

void CrashHandler(const char16_t* dumpPath) {
    if (BASDbgReport::IsExiting()) return;
    const std::u16string path = dumpPath ? dumpPath : u"";
    const std::u16string folder = path.substr(0, path.rfind(u'/') + 1);
    const std::u16string message = std::u16string(wxGetTranslation(u"appplication-crash-warning", u"Platform")) + u" " + folder;
    ShutdownLoggingOnce();
    RemoveCrashedRunFiles(BASUtilityString::Utf16ToUtf8(path));

    if (presenter) presenter(message);
    // Whatever the user chose, the folder opens.
    BASUtilityApp::OpenFolder(folder);
}

}  // namespace crash
