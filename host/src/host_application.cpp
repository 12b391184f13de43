#include "host_application.h"

#include "app/crash_handlers.h"
#include "app/desktop_notices.h"
#include "app/display_scale.h"
#include "app/log_folder.h"
#include "app/open_request_channel.h"
#include "app/product_identity.h"
#include "app/single_instance.h"
#include "app/system_summary.h"
#include "host_parts.h"
#include "module/module_update.h"
#include "plugin_util.h"
#include "service/host_command_service.h"
#include "service/manifest_windows.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/shared_dialogs.h"
#include "ui/dialogs/ui_alert_dialog.h"
#include "ui/main_frame.h"
#include "ui/main_view.h"

#include <bedrock/auto_release.h>
#include <bedrock/bas_dbg_report.h>
#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>
#include <bedrock/vo_task_pool.h>
#include <canvas/pictures.h>
#include <lingua/wx_locale.h>
#include <pixbridge/command_names.h>

#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <glog/logging.h>
#include <libxml/parser.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* kCrashTestArgument = "--crash-test";

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

// SIGTERM and SIGINT close the main window like a click on its close button,
// so a logout still saves settings and shuts down in order.
int signalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(signalPipe[1], &byte, 1);
}

// Qt's device pixel ratio of the screen the window opens on.
double PrimaryDeviceRatio() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

float ComputeDpiScale() {
    BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults();
    const double stored = standard ? standard->GetDouble("DPI", 0.0) : 0.0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return display::ProgramScale(stored, PrimaryDeviceRatio(), screen ? screen->logicalDotsPerInchX() : 96.0);
}

}  // namespace

// Owns the texts handed to glog; writes "OnDestroy" and shuts logging down
// when it ends, unless the crash handler already did.
class LoggingGuard {
public:
    LoggingGuard(const std::string& program, const std::string& folder) : program_(program), folder_(folder) {
        FLAGS_max_log_size = 20;
        FLAGS_log_dir = folder_;
        FLAGS_logbuflevel = -1;  // each entry reaches the file at once
        FLAGS_logfile_mode = 0600;  // the user's own
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

HostApplication::HostApplication(int& argc, char** argv) : argc_(argc), argv_(argv), arguments_(argv + 1, argv + argc) {
    reportHelper_ = arguments_.size() >= 2 && arguments_[0] == BASDbgReport::kReportArgument;
    for (auto it = arguments_.begin(); it != arguments_.end();) {
        if (*it == kCrashTestArgument) {
            crashTest_ = true;
            it = arguments_.erase(it);
        } else {
            ++it;
        }
    }
    launch_ = std::make_unique<open_request::LaunchArguments>(
        reportHelper_ ? open_request::LaunchArguments{} : open_request::SplitLaunchArguments(arguments_));
}

HostApplication::~HostApplication() { Shutdown(); }

int HostApplication::Run() {
    // 1. One copy per version. The report helper takes no part: it runs
    //    while its alert is open, and a user starting the program again
    //    after a crash must get a new copy, not a lock held by the alert.
    if (!reportHelper_) {
        instance_ = std::make_unique<SingleInstance>(product::SingleInstanceName());
        if (!instance_->IsFirst()) {
            // A launch with photos hands them to the copy that runs.
            if (!launch_->open) return 0;
            std::string error;
            if (open_request::HandToRunningCopy(open_request::SocketPath(product::SingleInstanceName()),
                                                launch_->openFiles, 10000, error,
                                                open_request::LaunchActivationToken())) {
                return 0;
            }
            std::fprintf(stderr, "PixbridgeManager: cannot hand the photos to the running copy: %s\n", error.c_str());
            return 1;
        }
    }

    // 2. Pools and workers; 3. settings, language, options, suite file.
    workersStarted_ = StartWorkers();
    parts_ = std::make_unique<HostParts>();
    LoadSettings(parts_->settings, reportHelper_ ? std::vector<std::string>() : launch_->settings);

    // 4. Logging, and 5. the system summary.
    StartLogging();
    LOG(INFO) << "SysInfoStr: " << BuildSystemSummary();
    for (const std::string& note : folders_.notes) LOG(WARNING) << "log folder passed over: " << note;
    LOG_IF(WARNING, instance_ && !instance_->Problem().empty())
        << instance_->Problem() << "; starting without the instance lock";

    // 6-8. The window system, libxml2, the images, crash reporting.
    StartWindowSystem();
    if (reportHelper_) {
        parts_->tables.FillFonts(parts_->context.DpiScale(), 1);
        return BASDbgReport::RunCrashReport(U(arguments_[1]), &crash::CrashHandler, &crash::ExtraFileHandler);
    }
    const std::u16string dumpPath = U(logFolder_ + "/" + BASUtilitySys::GetNowDateTime("%Y%m%d%H%M%S") + ".dmp");
    BASDbgReport::RegisterCrashFilter(dumpPath, &crash::CrashHandler, &crash::ExtraFileHandler);

    // 9. The main window and the message loop.
    StartMainWindow();
    ListenForOpenRequests();
    WatchTerminationSignals();
    if (crashTest_) {
        QTimer::singleShot(500, [] {
            LOG(INFO) << "crashing on purpose";
            raise(SIGSEGV);
        });
    }
    LOG(INFO) << "start-up complete (pid " << getpid() << ")";
    return QApplication::exec();
}

void HostApplication::LoadSettings(HostSettings& settings, const std::vector<std::string>& arguments) {
    settings.Load(arguments);
    plugin_util::SetSuiteFile(settings.SuiteFile());
}

UpdateFlow::Product HostApplication::UpdateProductOf(const HostSettings& settings) {
    UpdateFlow::Product product;
    const char* root = settings.FindUrl("url:root:brand");
    product.rootUrl = root ? root : "";
    product.brand = product::kBrand;
    product.displayName = product::DisplayName();
    product.version = product::kVersion;
    product.productType = static_cast<int32_t>(settings.ProductType());
    product.launcherPath = settings.LauncherPath();
    product.languageId = settings.LanguageId();
    return product;
}

bool HostApplication::StartWorkers() {
    AutoRelease::InitPool();
    VoTaskPool::Get()->Activate(5);
    AutoRelease::StartLocalPool();
    return true;
}

void HostApplication::StartLogging() {
    // A folder of this user's alone: other users can neither read the logs
    // nor plant links where the crash reporter writes and deletes.
    folders_ = log_folder::MakePrivateLogFolder(BASUtilitySys::GetNowDateTime("%Y%m%d"));
    logFolder_ = folders_.logFolder;
    const std::string path = argv_[0] ? argv_[0] : "PixbridgeManager";
    const std::string program = path.substr(path.rfind('/') + 1);
    // The helper writes no log of its own: the folder it reports on is the
    // crashed run's.
    if (!reportHelper_) logging_ = std::make_unique<LoggingGuard>(program, logFolder_);
}

void HostApplication::StartWindowSystem() {
    qt_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setApplicationName(QString::fromStdString(product::DisplayName()));
    QApplication::setApplicationDisplayName(QString::fromStdString(product::DisplayName()));
    QApplication::setApplicationVersion(product::kVersion);
    QApplication::setDesktopFileName(QStringLiteral("quillmarsh-pix-bridge"));

    xmlInitParser();
    LIBXML_TEST_VERSION

    const float scale = ComputeDpiScale();
    parts_->context.SetDpiScale(scale);
    LOG(INFO) << "display scale " << scale << " over a device pixel ratio of " << PrimaryDeviceRatio();
    parts_->images.SetResourceFolder(BASUtilityApp::GetProductInstallDir() + u"Resources/");
    parts_->images.SetDeviceScale(Utils::DeviceScale(scale));
    parts_->images.Preload(ImageCache::StartupImages());
    parts_->context.SetLogFolder(U(logFolder_ + "/"));
    BASDbgReport::SetReportRoot(U(folders_.reportRoot));

    // The crash alert is the host's own alert, with "open" as its button.
    crash::SetAlertPresenter([](const std::u16string& message) {
        HostContext& context = HostContext::Get();
        UiAlertDialog alert(context.DpiScale(), dialog_resources::Image("close-normal.png"),
                            dialog_resources::Image("close-pressed.png"), dialog_resources::Image("alert.png"), false,
                            true, dialog_resources::Tr16(u"open"), dialog_resources::Tr16(u"cancel"));
        alert.setObjectName(QStringLiteral("CrashAlert"));
        alert.SetMessage(QApplication::activeWindow(), context.Scaled(400), 0, message);
        alert.RunModal(QApplication::activeWindow());
    });
}

void HostApplication::StartMainWindow() {
    const float scale = parts_->context.DpiScale();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect rect = CMainFrame::CentredRect(screen ? screen->size() : QSize(1366, 768), scale, PrimaryDeviceRatio());

    // The window first: it is the main thread's dispatch target and the
    // parent of everything below.
    frame_ = std::make_unique<CMainFrame>(rect, scale);
    frame_->setWindowTitle(QString::fromStdString(product::DisplayName()));

    // Fonts before the modules, which ask for them when they make windows.
    const wxLocale* locale = wxGetLocale();
    parts_->tables.FillFonts(scale, locale && locale->GetLanguageId() != 0 ? 1 : 0);

    // The modules register on this thread, then the host joins the bus.
    const std::vector<manifest::LoadFailure> failures = manifest::LoadModules();
    plugin_util::RegisterHostModule("Product");
    SubscribeHostCommands();

    // The shared dialogs, then the module windows, then the delayed update check.
    auto dialogs = std::make_unique<SharedDialogs>(frame_->View(), scale, parts_->progress);
    dialogs->CreateShared();
    dialogs_ = dialogs.get();
    parts_->context.SetDialogs(std::move(dialogs));
    notices_ = std::make_unique<DesktopNotices>(QApplication::desktopFileName());
    parts_->context.SetNotices(notices_.get());
    StartUpdates();
    manifest::CreateModuleWindows(frame_->View(), scale);
    frame_->StartUpdateTimer();
    frame_->show();
    if (!failures.empty()) TellLoadFailures(failures);
}

void HostApplication::StartUpdates() {
    const UpdateFlow::Product product = UpdateProductOf(parts_->settings);
    CMainFrame* frame = frame_.get();
    // After the download the program closes as the user would close it:
    // the modules are asked first and may still refuse.
    updates_ = UpdateFlow::Create(product, *dialogs_, parts_->context.DpiScale(),
                                  [frame] { QTimer::singleShot(0, frame, [frame] { frame->close(); }); });
    std::weak_ptr<UpdateFlow> flow = updates_;
    dialogs_->SetUpdateCheck([flow](const ModuleCommand& request) {
        if (std::shared_ptr<UpdateFlow> updates = flow.lock()) updates->StartUpdateCheck(request);
    });
}

void HostApplication::TellLoadFailures(const std::vector<manifest::LoadFailure>& failures) {
    // The log has each reason; the user learns that a part is missing and
    // what may help, once the window is up.
    std::string names;
    for (const manifest::LoadFailure& failure : failures) {
        if (!names.empty()) names += ", ";
        names += failure.module == manifest::kInstallFolderName ? BASUtilityString::Utf16ToUtf8(BASUtilityApp::GetProductInstallDir())
                                                                : failure.module;
    }
    const char16_t* key = failures.front().module == manifest::kInstallFolderName ? u"install-folder-unusable-%s"
                                                                                  : u"module-load-failed-%s";
    const std::u16string message = BASUtilityString::Format(dialog_resources::Tr16(key).c_str(), U(names).c_str());
    const int width = parts_->context.Scaled(420);
    QTimer::singleShot(0, frame_.get(), [message, width] {
        HostContext::Get().Dialogs().Alert(message, dialog_resources::Tr16(u"ok"), dialog_resources::Tr16(u"cancel"), width, 0);
    });
}

void HostApplication::ListenForOpenRequests() {
    openRequests_ = std::make_unique<open_request::OpenRequestServer>([this](const open_request::OpenRequest& request) {
        PostOpenFiles(request.paths);
        if (frame_) open_request::RaiseWindow(frame_.get(), request.activationToken);
    });
    openRequests_->Listen(open_request::SocketPath(product::SingleInstanceName()));
    if (!launch_->openFiles.empty()) {
        // After the loop has started: the module windows exist by then.
        std::vector<std::string> files = launch_->openFiles;
        QTimer::singleShot(0, frame_.get(), [files] { PostOpenFiles(files); });
    }
}

void HostApplication::PostOpenFiles(const std::vector<std::string>& files) {
    std::string text = open_request::EncodePaths(files);
    LOG(INFO) << "opening " << files.size() << " file(s): " << text;
    ModuleCommand command;
    memset(&command, 0, sizeof command);
    command.command = LIBCONVERTER_COMMAND_OPEN_FILES;
    command.text = text.data();
    plugin_util::PostFromHost(&command);
}

void HostApplication::WatchTerminationSignals() {
    if (pipe2(signalPipe, O_CLOEXEC) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, frame_.get());  // owned by the window
    QObject::connect(notifier, &QSocketNotifier::activated, frame_.get(), [this] {
        char byte;
        [[maybe_unused]] ssize_t n = read(signalPipe[0], &byte, 1);
        if (frame_) frame_->close();
    });
    signal(SIGTERM, &OnTerminate);
    signal(SIGINT, &OnTerminate);
}

void HostApplication::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // The windows: dialogs first (they are owned here, parented to the
    // view), then the main window with the module windows inside it.
    openRequests_.reset();
    // A check or download in flight ends now; its partial file goes.
    if (updates_) updates_->Stop();
    updates_.reset();
    if (parts_) {
        parts_->context.SetDialogs(nullptr);
        parts_->context.SetNotices(nullptr);
        dialogs_ = nullptr;
    }
    notices_.reset();
    frame_.reset();

    // 1. The standard store; 2. libxml2.
    if (BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults()) standard->WriteAll();
    if (qt_) xmlCleanupParser();

    // 3-4. The window system, after the fonts that belong to it.
    if (parts_) parts_->tables.ClearFonts();
    qt_.reset();

    // 5. From here a crash reports nothing; 6. the workers end. The host's
    //    parts outlive them, since a task still running may post to the host.
    BASDbgReport::SetExiting();
    if (workersStarted_) {
        VoTaskPool::Get()->Deactivate();
        AutoRelease::EndLocalPool();
        AutoRelease::PrintLeakObject(nullptr);
        AutoRelease::DestroyPool();
    }
    parts_.reset();

    // 7. The single-instance lock; 8. last, "OnDestroy" and logging down.
    instance_.reset();
    logging_.reset();
}
