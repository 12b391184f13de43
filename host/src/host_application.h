// HostApplication: the life of the host process in one object. Run() reads
// as the start-up, in order, and Shutdown() as the shutdown, in order; every
// part of the host is owned here and ended here.
#ifndef PIXBRIDGE_HOST_HOST_APPLICATION_H
#define PIXBRIDGE_HOST_HOST_APPLICATION_H

#include "app/log_folder.h"
#include "module/module_update.h"
#include "service/manifest_windows.h"

#include <memory>
#include <string>
#include <vector>

class CMainFrame;
class DesktopNotices;
class HostSettings;
class LoggingGuard;
class QApplication;
class SharedDialogs;
class SingleInstance;
struct HostParts;
namespace open_request {
class OpenRequestServer;
struct LaunchArguments;
}

class HostApplication {
public:
    HostApplication(int& argc, char** argv);
    ~HostApplication();
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;

    // The whole run; returns the process's exit code.
    int Run();

    // Start-up step 3: reads the settings, the language, the options and the
    // suite file, and tells the loader the suite file, so that an update
    // inside a suite can find the newest installed copy.
    static void LoadSettings(HostSettings& settings, const std::vector<std::string>& arguments);
    // What the update check needs to know of this product, from the settings.
    static UpdateFlow::Product UpdateProductOf(const HostSettings& settings);

private:
    bool StartWorkers();
    void StartLogging();
    void StartWindowSystem();
    // The main window, the modules and their windows, in the order the
    // modules rely on.
    void StartMainWindow();
    // The update check (automatic after start, and from the menu).
    void StartUpdates();
    void WatchTerminationSignals();
    // Modules of the manifest that did not load: the user is told.
    void TellLoadFailures(const std::vector<manifest::LoadFailure>& failures);
    // Photos of later launches ("Open with") and of this one reach the workbench.
    void ListenForOpenRequests();
    // Hands photos to the workbench: LIBCONVERTER_COMMAND_OPEN_FILES from the host.
    static void PostOpenFiles(const std::vector<std::string>& files);
    void Shutdown();

    int& argc_;
    char** argv_;
    std::vector<std::string> arguments_;
    // The launcher-file arguments, and the photos after --open.
    std::unique_ptr<open_request::LaunchArguments> launch_;
    bool reportHelper_ = false;
    bool crashTest_ = false;
    bool shutDown_ = false;
    std::string logFolder_;
    log_folder::Folders folders_;

    std::unique_ptr<LoggingGuard> logging_;
    std::unique_ptr<SingleInstance> instance_;
    bool workersStarted_ = false;
    std::unique_ptr<HostParts> parts_;
    std::unique_ptr<QApplication> qt_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<DesktopNotices> notices_;
    std::unique_ptr<open_request::OpenRequestServer> openRequests_;
    SharedDialogs* dialogs_ = nullptr;  // owned by the context
    std::shared_ptr<UpdateFlow> updates_;
};

#endif  // PIXBRIDGE_HOST_HOST_APPLICATION_H
