#include "run_folder.h"

#include "log_folder.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace run_folder {
namespace {

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// A real folder (not a link) of this user that nobody else may enter.
bool IsPrivateFolder(const std::string& folder) {
    struct stat st {};
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

std::string CacheBase() {
    if (const char* cache = getenv("XDG_CACHE_HOME"); cache && *cache == '/') return WithoutTrailingSlashes(cache);
    const char* home = getenv("HOME");
    return std::string(home && *home == '/' ? WithoutTrailingSlashes(home) : "") + "/.cache";
}

}  // namespace

std::string Path(std::string* problem) {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/' && IsPrivateFolder(WithoutTrailingSlashes(runtime))) {
        return WithoutTrailingSlashes(runtime) + "/";
    }
    // The cache folder itself is an ordinary folder of the home; only the
    // program's own folders in it must be private.
    const std::string base = CacheBase();
    BASUtilitySys::MakeDirs(BASUtilityString::Utf8ToUtf16(base + "/"));
    const std::string folder = log_folder::MakePrivateFolder(base, {"quillmarsh-pix-bridge", "run"}, problem);
    return folder.empty() ? folder : folder + "/";
}

}  // namespace run_folder
