// PixbridgeManager: the host program. Runs the life of the process in a fixed
// order: one instance only, worker pool, settings and language, logging, the
// window system, crash reporting, the main window and its message loop, then
// an ordered shutdown.
#include "app/crash_handlers.h"
#include "app/display_scale.h"
#include "app/host_settings.h"
#include "app/log_folder.h"
#include "app/product_identity.h"
#include "app/single_instance.h"
#include "app/system_summary.h"
#include "service/host_context.h"
#include "service/image_cache.h"
#include "ui/main_frame.h"

#include <bedrock/auto_release.h>
#include <bedrock/bas_dbg_report.h>
#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>
#include <bedrock/vo_task_pool.h>

#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <glog/logging.h>
#include <libxml/parser.h>

#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kCrashTestArgument = "--crash-test";

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

// Owns the texts handed to glog; writes "OnDestroy" and shuts logging down
// when main returns, unless the crash handler already did.
class LoggingGuard {
public:
    LoggingGuard(const std::string& program, const std::string& folder) : program_(program), folder_(folder) {
        FLAGS_max_log_size = 20;
        FLAGS_log_dir = folder_;
        FLAGS_logbuflevel = -1;  // each entry reaches the file at once
        FLAGS_logfile_mode = 0600;
        google::InitGoogleLogging(program_.c_str());
    }
    ~LoggingGuard() {
        LOG(INFO) << "OnDestroy";
        crash::ShutdownLoggingOnce();
    }
    LoggingGuard(const LoggingGuard&) = delete;
    LoggingGuard& operator=(const LoggingGuard&) = delete;

private:
    std::string program_;
    std::string folder_;
};

// SIGTERM and SIGINT close the main window like a click on its close button,
// so a logout still saves settings and shuts down in order.
int signalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(signalPipe[1], &byte, 1);
}

float ComputeDpiScale() {
    BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults();
    const double stored = standard ? standard->GetDouble("DPI", 0.0) : 0.0;
    if (stored != 0.0) return static_cast<float>(stored);
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? static_cast<float>(screen->logicalDotsPerInchX() / 96.0) : 1.0f;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const bool reportHelper = arguments.size() >= 2 && arguments[0] == BASDbgReport::kReportArgument;
    bool crashTest = false;
    for (auto it = arguments.begin(); it != arguments.end();) {
        if (*it == kCrashTestArgument) {
            crashTest = true;
            it = arguments.erase(it);
        } else {
            ++it;
        }
    }

    // The report helper starts while the crashed copy may still hold the lock.
    SingleInstance instance(product::SingleInstanceName());
    if (!reportHelper && !instance.IsFirst()) return 0;

    AutoRelease::InitPool();
    VoTaskPool::Get()->Activate(5);
    AutoRelease::StartLocalPool();

    HostSettings::Get().Load(reportHelper ? std::vector<std::string>() : arguments);

    const log_folder::Folders folders = log_folder::MakePrivateLogFolder(BASUtilitySys::GetNowDateTime("%Y%m%d"));
    const std::string logFolder = folders.logFolder;
    const std::string program = std::string(argv[0]).substr(std::string(argv[0]).rfind('/') + 1);
    // The helper writes no log of its own: the folder it reports on is the
    // crashed run's.
    std::unique_ptr<LoggingGuard> logging;
    if (!reportHelper) logging = std::make_unique<LoggingGuard>(program, logFolder);
    LOG(INFO) << "SysInfoStr: " << BuildSystemSummary();
    for (const std::string& note : folders.notes) LOG(WARNING) << "log folder passed over: " << note;
    LOG_IF(WARNING, !instance.Problem().empty()) << instance.Problem() << "; starting without the instance lock";

    int exitCode = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QString::fromStdString(product::DisplayName()));
        QApplication::setApplicationVersion(product::kVersion);
        QApplication::setDesktopFileName(QStringLiteral("quillmarsh-pix-bridge"));

        xmlInitParser();
        LIBXML_TEST_VERSION

        ImageCache::Get().SetResourceFolder(BASUtilityApp::GetProductInstallDir() + u"Resources/");
        ImageCache::Get().Preload(ImageCache::StartupImages());
        HostContext::Get().SetLogFolder(U(logFolder + "/"));
        HostContext::Get().SetDpiScale(display::ClampDpiScale(ComputeDpiScale()));
        BASDbgReport::SetReportRoot(U(folders.reportRoot));
        if (reportHelper) {
            exitCode = BASDbgReport::RunCrashReport(U(arguments[1]), &crash::CrashHandler, &crash::ExtraFileHandler);
        } else {
            const std::u16string dumpPath = U(logFolder + "/" + BASUtilitySys::GetNowDateTime("%Y%m%d%H%M%S") + ".dmp");
            BASDbgReport::RegisterCrashFilter(dumpPath, &crash::CrashHandler, &crash::ExtraFileHandler);

            const float scale = HostContext::Get().DpiScale();
            const QScreen* screen = QGuiApplication::primaryScreen();
            const QRect rect = CMainFrame::CentredRect(screen ? screen->size() : QSize(1366, 768), scale);
            auto frame = std::make_unique<CMainFrame>(rect, scale);
            frame->setWindowTitle(QString::fromStdString(product::DisplayName()));
            frame->show();

            if (pipe2(signalPipe, O_CLOEXEC) == 0) {
                auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, frame.get());
                QObject::connect(notifier, &QSocketNotifier::activated, frame.get(), [&frame] {
                    char byte;
                    [[maybe_unused]] ssize_t n = read(signalPipe[0], &byte, 1);
                    frame->close();
                });
                signal(SIGTERM, &OnTerminate);
                signal(SIGINT, &OnTerminate);
            }
            if (crashTest) {
                QTimer::singleShot(500, [] {
                    LOG(INFO) << "crashing on purpose";
                    raise(SIGSEGV);
                });
            }
            LOG(INFO) << "start-up complete (pid " << getpid() << ")";
            exitCode = app.exec();
            frame.reset();
        }

        // Shutdown, in order.
        if (BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults()) standard->WriteAll();
        xmlCleanupParser();
    }
    BASDbgReport::SetExiting();
    VoTaskPool::Get()->Deactivate();
    AutoRelease::EndLocalPool();
    AutoRelease::PrintLeakObject(nullptr);
    AutoRelease::DestroyPool();
    return exitCode;
}
