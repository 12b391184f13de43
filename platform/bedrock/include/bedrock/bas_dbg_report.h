// Crash reporting. A fatal signal in the program does only async-signal-safe
// work: it writes a small dump (process id, signal, address, backtrace) and
// starts the program again as a report helper. The helper, a healthy
// process, calls the extra-file handler, packs the crashed run's files into a
// ".zip" and calls the crash handler, which may show windows.
#ifndef BEDROCK_BAS_DBG_REPORT_H
#define BEDROCK_BAS_DBG_REPORT_H

#include "bedrock_export.h"

#include <string>
#include <vector>

class BEDROCK_EXPORT BASDbgReport {
public:
    // Given the dump file's path.
    using CrashHandler = void (*)(const char16_t* dumpPath);
    // Given the dump folder ("/"-terminated); hands back a malloc'd path of
    // the extra file it wrote (the library frees it).
    using ExtraFileHandler = void (*)(const char16_t* folder, char16_t** extraFile);

    static constexpr const char* kReportArgument = "--crash-report";

    // Arms the signal handlers. `dumpPath` is where a crash writes its dump.
    static bool RegisterCrashFilter(const std::u16string& dumpPath, CrashHandler crashHandler,
                                    ExtraFileHandler extraFileHandler);
    // Reports are acted on only for dumps inside this folder ("/"-terminated).
    // Without a root nothing is reported.
    static void SetReportRoot(const std::u16string& folder);
    // The real path ("/"-terminated, no links) of `folder` when it lies inside
    // the report root and that root is a folder of this user that nobody else
    // may write to; empty otherwise. Whoever deletes or writes files in a
    // report folder goes through this first.
    static std::string ResolveInsideReportRoot(const std::string& folder);
    // From now on a crash reports nothing (shutdown has begun).
    static void SetExiting();
    static bool IsExiting();

    // What a crashed run left in its report folder, by name: its dump and the
    // logs whose names end in "." and the process id the dump names (glog's
    // names do), regular files only, read through `folderFd`. The day's
    // other logs (earlier runs, a converter still writing its own) are not
    // the crash's. The extra file is the caller's to add.
    static std::vector<std::string> CrashedRunFiles(int folderFd, const std::string& dumpName);

    // The helper's work for a dump a crashed run wrote; returns the exit code.
    // The helper arms no signal handlers of its own, so a fault while
    // reporting can never start another helper. It acts only on a regular
    // ".dmp" file of this user whose real folder lies inside the report root,
    // and hands both handlers that real folder (and the dump's real path),
    // never the path it was given. The archive, named after the dump, holds
    // the crashed run's files (above) and the extra file.
    static int RunCrashReport(const std::u16string& dumpPath, CrashHandler crashHandler,
                              ExtraFileHandler extraFileHandler);
};

#endif  // BEDROCK_BAS_DBG_REPORT_H
