#include "bedrock/bas_utility_app.h"

#include "bedrock/bas_utility_string.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <string>
#include <thread>

extern char** environ;

namespace {

std::string ProgramDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool SpawnDetached(const char* program, const std::string& argument) {
    // Reap the opener on a thread of its own so no zombie is left and the
    // caller never waits for the desktop.
    pid_t pid = 0;
    std::string arg = argument;
    char* argv[] = {const_cast<char*>(program), arg.data(), nullptr};
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

}  // namespace

std::u16string BASUtilityApp::GetProductInstallDir() {
    static const std::u16string dir = BASUtilityString::Utf8ToUtf16(ProgramDir());
    return dir;
}

bool BASUtilityApp::IsProductInstallDirValidUtf8() {
    static const bool valid = BASUtilityString::IsValidUtf8(ProgramDir());
    return valid;
}

std::u16string BASUtilityApp::GetProductPluginsDir() { return GetProductInstallDir() + u"Plugins/"; }

std::u16string BASUtilityApp::GetProductBinDir() { return GetProductInstallDir(); }

void* BASUtilityApp::GetAppModule() {
    static void* self = dlopen(nullptr, RTLD_NOW);
    return self;
}

uint64_t BASUtilityApp::GetTaskId() {
    // Seeded from the clock so ids of one run rarely meet those of another
    // in logs; counted up so they never repeat within the run.
    static std::atomic<uint64_t> next{
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count())
        << 8};
    return next.fetch_add(1);
}

bool BASUtilityApp::OpenUrl(const char* url) {
    if (!url || !*url) return false;
    return SpawnDetached("xdg-open", url);
}

bool BASUtilityApp::OpenFolder(const std::u16string& folder) {
    if (folder.empty()) return false;
    return SpawnDetached("xdg-open", BASUtilityString::Utf16ToUtf8(folder));
}
