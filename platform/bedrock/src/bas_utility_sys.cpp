#include "bedrock/bas_utility_sys.h"

#include "bedrock/bas_utility_string.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir.push_back('/');
    return dir;
}

std::string HomeDir() {
    if (const char* home = getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir;
    return "/tmp";
}

}  // namespace

std::string BASUtilitySys::GetNowDateTime(const char* format) {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char buf[256];
    const size_t n = strftime(buf, sizeof buf, format ? format : "", &local);
    return std::string(buf, n);
}

std::u16string BASUtilitySys::GetAppDataDir() {
    const char* xdg = getenv("XDG_CONFIG_HOME");
    const std::string dir = (xdg && *xdg == '/') ? std::string(xdg) : HomeDir() + "/.config";
    return BASUtilityString::Utf8ToUtf16(WithSlash(dir));
}

std::u16string BASUtilitySys::GetTempDir() {
    const char* tmp = getenv("TMPDIR");
    return BASUtilityString::Utf8ToUtf16(WithSlash(tmp && *tmp ? tmp : "/tmp"));
}

bool BASUtilitySys::MakeDirs(const std::u16string& folder) {
    const std::string path = BASUtilityString::Utf16ToUtf8(folder);
    if (path.empty()) return false;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
