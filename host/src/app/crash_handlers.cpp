#include "crash_handlers.h"

#include "system_summary.h"

#include <bedrock/bas_dbg_report.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <lingua/wx_locale.h>

#include <dirent.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace crash {
namespace {

std::atomic<bool> loggingDown{false};
AlertPresenter presenter;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool ShutdownLoggingOnce() {
    if (loggingDown.exchange(true)) return false;
    if (google::IsGoogleLoggingInitialized()) google::ShutdownGoogleLogging();
    return true;
}

void ExtraFileHandler(const char16_t* folder, char16_t** extraFile) {
    // The folder and the name are joined as they are: the folder carries its
    // own trailing separator.
    const std::u16string path = std::u16string(folder ? folder : u"") + u"Crash.json";
    const std::string summary = BuildSystemSummary();
    if (FILE* f = fopen(BASUtilityString::Utf16ToUtf8(path).c_str(), "wb")) {
        fwrite(summary.data(), 1, summary.size(), f);
        fclose(f);
    }
    if (extraFile) *extraFile = BASUtilityString::ConvertUtf8ToUnicode(BASUtilityString::Utf16ToUtf8(path).c_str());
}

void KeepOnlyZipFiles(const char* folder) {
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (const dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st{};
        if (lstat((dir + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        if (Lower(name).find(".zip") == std::string::npos) unlink((dir + name).c_str());
    }
    closedir(d);
}

void SetAlertPresenter(AlertPresenter show) { presenter = std::move(show); }

void CrashHandler(const char16_t* dumpPath) {
    if (BASDbgReport::IsExiting()) return;
    const std::u16string path = dumpPath ? dumpPath : u"";
    const std::u16string folder = path.substr(0, path.rfind(u'/') + 1);
    const std::u16string message = std::u16string(wxGetTranslation(u"appplication-crash-warning", u"Platform")) + u" " + folder;
    ShutdownLoggingOnce();
    KeepOnlyZipFiles(BASUtilityString::Utf16ToUtf8(folder).c_str());

    if (presenter) presenter(message);
    // Whatever the user chose, the folder opens.
    BASUtilityApp::OpenFolder(folder);
}

}  // namespace crash
