// What the host does with a crash report: the system summary as "Crash.json",
// then, once the report is packed, the crashed run's files cleared away (the
// archive holds them), an alert, and the folder opened for the user.
#ifndef PIXBRIDGE_HOST_CRASH_HANDLERS_H
#define PIXBRIDGE_HOST_CRASH_HANDLERS_H

#include <functional>
#include <string>

namespace crash {

// Shows the crash alert (message, "open") and returns when it is closed. Set
// by the program that has windows; without one the folder simply opens.
using AlertPresenter = std::function<void(const std::u16string& message)>;
void SetAlertPresenter(AlertPresenter show);

// Writes the summary to `folder` + "Crash.json" (a new 0600 file, never
// through a link, only inside the report root) and hands back that path, or
// null when it could not be written.
void ExtraFileHandler(const char16_t* folder, char16_t** extraFile);
void CrashHandler(const char16_t* dumpPath);

// The summary's name in the report folder.
constexpr const char* kExtraFileName = "Crash.json";

// Removes what the crashed run of `dumpPath` left and its archive now holds:
// the dump, "Crash.json" and the logs of its process (BASDbgReport::
// CrashedRunFiles). The day's other files (other runs' logs, a converter's
// live log, archives), links and sub-folders stay. Acts only when the
// folder's real path lies inside the report root, and deletes through a
// descriptor of that folder.
void RemoveCrashedRunFiles(const std::string& dumpPath);

// Logging is shut down at most once: by the crash handler or at the end of main.
bool ShutdownLoggingOnce();

}  // namespace crash

#endif  // PIXBRIDGE_HOST_CRASH_HANDLERS_H
