// pixbridge-convert: converts HEIC photos to JPEG or PNG from a shell or a
// script, through Module.Photo on the same bus as the program.
#include "batch_runner.h"
#include "console_report.h"
#include "convert_options.h"
#include "photo_batch.h"
#include "photo_module_client.h"
#include "signal_watch.h"
#include "stderr_capture.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>
#include <bedrock/vo_task_pool.h>

#include <glog/logging.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

constexpr int kPoolThreads = 2;

// A folder only this user can change: made 0700 when missing; an existing
// one must be ours, a real folder (not a link) and closed to others' writes.
bool UsableLogFolder(const std::string& folder) {
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The process log, beside the program's in the dated folder of the
// temporary directory; nothing of it reaches the terminal.
class LogScope {
public:
    explicit LogScope(const char* argv0) {
        const std::string path = argv0;
        program_ = path.substr(path.rfind('/') + 1);
        FLAGS_max_log_size = 20;
        FLAGS_logbuflevel = -1;
        FLAGS_logtostderr = false;
        FLAGS_alsologtostderr = false;
        FLAGS_stderrthreshold = google::NUM_SEVERITIES;
        const std::string brand = BASUtilityString::Utf16ToUtf8(BASUtilitySys::GetTempDir()) + "Quillmarsh";
        const std::string folder = brand + "/" + BASUtilitySys::GetNowDateTime("%Y%m%d");
        const bool logToFile = UsableLogFolder(brand) && UsableLogFolder(folder);
        if (logToFile) FLAGS_log_dir = folder;
        google::InitGoogleLogging(program_.c_str());
        if (!logToFile) {
            for (int severity = 0; severity < google::NUM_SEVERITIES; ++severity) {
                google::SetLogDestination(severity, "");
            }
        }
    }
    ~LogScope() { google::ShutdownGoogleLogging(); }
    LogScope(const LogScope&) = delete;
    LogScope& operator=(const LogScope&) = delete;

private:
    std::string program_;
};

// The scheduler's threads, which run the module's tasks, for the run.
class PoolScope {
public:
    PoolScope() { VoTaskPool::Get()->Activate(kPoolThreads); }
    ~PoolScope() { VoTaskPool::Get()->Deactivate(); }
    PoolScope(const PoolScope&) = delete;
    PoolScope& operator=(const PoolScope&) = delete;
};

}  // namespace

int main(int argc, char** argv) {
    ConvertOptions options;
    const int parsed = ParseConvertOptions(argc, argv, options, stdout, stderr);
    if (parsed >= 0) return parsed;

    PhotoBatch batch;
    std::string error;
    if (!CollectPhotoBatch(options, batch, error)) {
        fprintf(stderr, "pixbridge-convert: %s\n", ConsoleReport::Printable(error).c_str());
        return kExitUsage;
    }

    LogScope logging(argv[0]);
    ConversionSettings settings;
    settings.png = options.png;
    settings.quality = options.quality;
    settings.keepExif = !options.stripExif;
    settings.maxEdge = options.maxSize;
    ConsoleReport report(ConsoleReport::ChooseMode(options, STDOUT_FILENO), STDOUT_FILENO, STDERR_FILENO,
                         options.quiet);
    BatchRunner runner(batch, settings, report);
    // Before any other thread exists, so that all of them inherit the mask.
    SignalWatch signals([&runner](int signal) { runner.RequestStop(signal); });
    StderrCapture capture([&runner](const std::string& line) { runner.OnStderrLine(line); });
    report.SetErrorFd(capture.RealStderr());
    runner.AttachCapture(&capture);
    PoolScope pool;

    if (!PhotoModuleClient::Load(BASUtilityApp::GetProductPluginsDir(), error)) {
        report.Warning(error);
        return kExitSomeFailed;
    }
    PhotoModuleClient client(&runner);
    const RunTotals totals = runner.Run(client);
    LOG(INFO) << ConsoleReport::FormatSummary(totals);
    if (totals.stopSignal != 0) return 128 + totals.stopSignal;
    return totals.failed > 0 ? kExitSomeFailed : kExitConverted;
}
