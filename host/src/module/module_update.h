// The update check and download. A check runs on the task pool and shows
// what it found on the main thread: the list dialog (asked from the menu) or
// the sheet tip (the automatic check after start), "up to date" and
// "failed" only when asked. "Update now" downloads the package with the
// download dialog and hands it to the package's install helper (and waits
// for it) or to the desktop's installer, then the program closes through its
// close protocol.
#ifndef PIXBRIDGE_HOST_MODULE_UPDATE_H
#define PIXBRIDGE_HOST_MODULE_UPDATE_H

#include <pixbridge/module_contract.h>
#include <refresh/lu_refresh.h>

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class SharedDialogs;

class UpdateFlow : public std::enable_shared_from_this<UpdateFlow> {
public:
    struct Product {
        std::string rootUrl;  // "url:root:brand"
        std::string brand;
        std::string displayName;
        std::string version;
        int32_t productType = 0;
        std::u16string launcherPath;  // suite mode: the suite's launcher file
        int32_t languageId = 3;
        int32_t checkDeadlineSeconds = 0;  // the feed check's time limit; 0: libRefresh's minute
    };

    // How long a check asked from the menu waits for the automatic check
    // that is already running before it says so.
    static constexpr int kAskedDuringCheckWaitMs = 4000;

    // `dialogs` outlives the flow; `closeMainWindow` starts the close protocol.
    static std::shared_ptr<UpdateFlow> Create(Product product, SharedDialogs& dialogs, float dpiScale,
                                              std::function<void()> closeMainWindow);
    ~UpdateFlow();
    UpdateFlow(const UpdateFlow&) = delete;
    UpdateFlow& operator=(const UpdateFlow&) = delete;

    // The menu's command (number != 0: asked by the user) or the automatic
    // check (number 0). Main thread.
    void StartUpdateCheck(const ModuleCommand& record);
    // The program is closing: every transfer of the process stops at once
    // (for good), and this waits a short while for the work on the pool.
    void Stop();

    bool CheckRunning() const;
    bool Downloading() const { return downloading_; }

    // The JSON the check hands to the main thread: one object per newer
    // version with "version", "md5", "path_remote" and the "descriptions"
    // of the user's language.
    static std::string BuildUpdateJson(const LUUpdateData* list, int32_t languageId);
    // The lines of `languageTag`'s section ("{de}" up to the next marker
    // line); the "{en}" section when the language has none; every line when
    // the notes have no marker at all.
    static std::vector<std::string> LinesForLanguage(const LUDescriptionLine* lines, const std::string& languageTag);

private:
    struct Shared;
    struct CheckResult {
        bool ok = false;  // a valid answer: newer versions or none
        std::string json;
    };
    struct DownloadResult {
        int32_t number = 6;  // 1 done, 5 cancelled, 6 failed
        std::string installerPath;
        std::string sha256;        // the feed's, for the helper to check its copy against
        std::string unsafeFolder;  // failed: the download folder's chain is not the user's own
    };

    UpdateFlow(Product product, SharedDialogs& dialogs, float dpiScale, std::function<void()> closeMainWindow);
    void ShowResult(bool interactive, const CheckResult& result);
    void OpenListDialog();
    void StartDownload();
    void Install(const DownloadResult& result);
    void HandOver(const QString& installer, const QString& sha256);
    // A check asked while the automatic one runs has waited long enough.
    void GiveUpWaitingForCheck(int ask);
    // The install helper has ended with `exitCode`.
    void FinishInstall(const QString& installer, int exitCode);
    // The package could not be installed: the dialog says where it is and
    // the program stays.
    void TellInstallFailed(const QString& installer);
    void CloseMainWindow();
    int Scaled(int n) const { return static_cast<int>(n * dpiScale_); }

    static void CheckWork(const std::shared_ptr<Shared>& shared, const std::weak_ptr<UpdateFlow>& flow,
                          const Product& product, bool interactive);
    static void DownloadWork(const std::shared_ptr<Shared>& shared, const std::weak_ptr<UpdateFlow>& flow);

    Product product_;
    SharedDialogs& dialogs_;
    float dpiScale_ = 1.0f;
    std::function<void()> closeMainWindow_;
    std::shared_ptr<Shared> shared_;
    bool downloading_ = false;
    int asks_ = 0;  // checks asked during a running one, to match their timers
};

#endif  // PIXBRIDGE_HOST_MODULE_UPDATE_H
