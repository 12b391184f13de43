// SharedDialogs: the host's dialogs as the command service asks for them.
// Holds the dialogs that live for the whole run (the sheet tip, kind 2, and
// the progress dialog, kind 4) and the loading panels by (type, key); alerts,
// confirmations, settings and about live for one modal run each. Every entry
// point runs on the main thread.
#ifndef PIXBRIDGE_HOST_SHARED_DIALOGS_H
#define PIXBRIDGE_HOST_SHARED_DIALOGS_H

#include "service/host_dialogs.h"

#include <map>
#include <memory>
#include <string>
#include <utility>

class ProgressCounters;
class UiDialog;
class UiProgressDialog;
class UiSheetDialog;
class UiUpdateDownloadDialog;
class UiUpdateListDialog;
class iOSProgressDialog;

class SharedDialogs : public HostDialogs {
public:
    enum Kind : int32_t { kUpdateDownload = 1, kSheetTip = 2, kUpdateList = 3, kProgress = 4 };
    // The main window sets the sheet tip under the module's title bar.
    static constexpr int kSheetTopOffset = 32;

    // `mainView` is the parent of every dialog; `counters` the progress job's.
    SharedDialogs(QWidget* mainView, float dpiScale, ProgressCounters& counters);
    ~SharedDialogs() override;

    // Creates the shared dialogs, hidden, in the order of their kinds.
    void CreateShared();
    UiDialog* Find(int32_t kind) const;
    UiSheetDialog* SheetTip() const { return sheet_.get(); }
    UiProgressDialog* Progress() const { return progress_.get(); }
    UiUpdateDownloadDialog* UpdateDownload() const { return download_.get(); }
    UiUpdateListDialog* UpdateList() const { return updateList_.get(); }
    // What LIBPLATFORM_COMMAND_CHECK_FOR_UPDATE and the automatic check run.
    void SetUpdateCheck(std::function<void(const ModuleCommand&)> check) { updateCheck_ = std::move(check); }
    iOSProgressDialog* FindLoading(int32_t type, const std::string& key) const;
    size_t LoadingCount() const { return loading_.size(); }

    // HostDialogs
    void OpenAbout(int width, int height) override;
    void CheckForUpdate(const ModuleCommand& request) override;
    int OpenSettings(int width, int height, int32_t currentLanguage, int32_t* chosenLanguage) override;
    void ShowSheetTip(const std::u16string& text, int durationMs, std::function<void()> onClick) override;
    void HideSheetTip() override;
    int Alert(const std::u16string& message, const std::u16string& okText, const std::u16string& cancelText, int width,
              int height, AlertPlacement placement = AlertPlacement::kOverParent) override;
    int Confirm(const std::u16string& message, const std::u16string& okText, const std::u16string& cancelText,
                int width) override;
    int ShowLinkAlert(const LinkAlert& alert) override;
    void StartProgress(const ProgressStart& start) override;
    void CancelProgress(const std::string& deviceId) override;
    void ChangeProgressLogo(QImage* logo) override;
    void OpenLoading(int32_t type, const std::string& key, QWidget* owner) override;
    void CloseLoading(int32_t type, const std::string& key) override;
    void UpdateLoading(int32_t type, const std::string& key, int64_t current, int64_t total) override;
    void CloseAllLoading() override;
    void MainWindowMoved(int dx, int dy) override;
    void MainViewResized() override;

private:
    int Scaled(int n) const { return static_cast<int>(n * dpiScale_); }

    QWidget* mainView_ = nullptr;
    float dpiScale_ = 1.0f;
    ProgressCounters& counters_;
    std::function<void(const ModuleCommand&)> updateCheck_;
    std::unique_ptr<UiUpdateDownloadDialog> download_;
    std::unique_ptr<UiSheetDialog> sheet_;
    std::unique_ptr<UiUpdateListDialog> updateList_;
    std::unique_ptr<UiProgressDialog> progress_;
    std::map<std::pair<int32_t, std::string>, std::shared_ptr<iOSProgressDialog>> loading_;
    std::map<std::string, std::weak_ptr<iOSProgressDialog>> loadingByKey_;
};

#endif  // PIXBRIDGE_HOST_SHARED_DIALOGS_H
