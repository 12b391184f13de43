#include "shared_dialogs.h"

#include "app/host_settings.h"
#include "app/product_identity.h"
#include "dialog_resources.h"
#include "ios_progress_dialog.h"
#include "service/image_cache.h"
#include "ui_about_dialog.h"
#include "ui_alert_dialog.h"
#include "ui_link_alert_dialog.h"
#include "ui_progress_dialog.h"
#include "ui_setting_dialog.h"
#include "ui_sheet_dialog.h"
#include "ui_update_download_dialog.h"
#include "ui_update_list_dialog.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>

#include <QApplication>
#include <QWidget>

#include <cstdlib>

namespace {

using dialog_resources::AssertMainThread;
using dialog_resources::Image;

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

int BuildYear() {
    // The build date reads "Mon dd yyyy".
    const std::string date = product::kBuildDate;
    return date.size() >= 4 ? std::atoi(date.c_str() + date.size() - 4) : 2026;
}

}  // namespace

SharedDialogs::SharedDialogs(QWidget* mainView, float dpiScale, ProgressCounters& counters)
    : mainView_(mainView), dpiScale_(dpiScale), counters_(counters) {}

SharedDialogs::~SharedDialogs() {
    // Loading panels re-enable their owners as they go; the owners still exist.
    loadingByKey_.clear();
    loading_.clear();
}

void SharedDialogs::CreateShared() {
    AssertMainThread("SharedDialogs::CreateShared");
    const QImage* closeNormal = Image("close-normal.png");
    const QImage* closePressed = Image("close-pressed.png");
    download_ = std::make_unique<UiUpdateDownloadDialog>(dpiScale_, closeNormal, closePressed);
    download_->Create(mainView_, Scaled(540), Scaled(150));
    download_->hide();
    sheet_ = std::make_unique<UiSheetDialog>(dpiScale_, closeNormal, closePressed);
    sheet_->CreateTip(mainView_, mainView_ ? mainView_->width() : Scaled(900));
    sheet_->SetTopOffset(kSheetTopOffset);
    sheet_->Layout();
    sheet_->hide();
    const char* history = HostSettings::Get().FindUrl("url:history");
    updateList_ = std::make_unique<UiUpdateListDialog>(dpiScale_, closeNormal, closePressed, history ? history : "");
    updateList_->Create(mainView_, Scaled(500), Scaled(360));
    updateList_->hide();
    progress_ = std::make_unique<UiProgressDialog>(dpiScale_, closeNormal, closePressed, counters_);
    progress_->Create(mainView_, Scaled(500), Scaled(160));
    progress_->hide();
}

UiDialog* SharedDialogs::Find(int32_t kind) const {
    switch (kind) {
    case kUpdateDownload:
        return download_.get();
    case kUpdateList:
        return updateList_.get();
    case kSheetTip:
        return sheet_.get();
    case kProgress:
        return progress_.get();
    default:
        return nullptr;
    }
}

void SharedDialogs::OpenAbout(int width, int height) {
    AssertMainThread("SharedDialogs::OpenAbout");
    UiAboutDialog::Identity identity;
    identity.productName = U(product::DisplayName());
    identity.version = U(product::kVersion);
    identity.brand = U(product::kBrand);
    const char* brandUrl = HostSettings::Get().FindUrl("url:brand");
    identity.brandUrl = U(brandUrl ? brandUrl : "");
    identity.buildYear = BuildYear();
    UiAboutDialog about(dpiScale_, Image("close-normal.png"), Image("close-pressed.png"), identity);
    about.SetMessage(mainView_, width, height, u"");
    about.RunModal(mainView_);
}

void SharedDialogs::CheckForUpdate(const ModuleCommand& request) {
    AssertMainThread("SharedDialogs::CheckForUpdate");
    if (updateCheck_) updateCheck_(request);
}

int SharedDialogs::OpenSettings(int width, int height, int32_t currentLanguage, int32_t* chosenLanguage) {
    AssertMainThread("SharedDialogs::OpenSettings");
    UiSettingDialog settings(dpiScale_, Image("close-normal.png"), Image("close-pressed.png"), false,
                             dialog_resources::Tr16(u"ok"), dialog_resources::Tr16(u"cancel"));
    settings.SetLanguageId(currentLanguage);
    QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : mainView_;
    settings.Create(nullptr, width, height);
    const int result = settings.RunModal(owner);
    if (result == UiDialog::kConfirmId && settings.ChosenLanguage() && chosenLanguage) {
        *chosenLanguage = *settings.ChosenLanguage();
    }
    return result;
}

void SharedDialogs::ShowSheetTip(const std::u16string& text, int durationMs, std::function<void()> onClick) {
    AssertMainThread("SharedDialogs::ShowSheetTip");
    if (!sheet_) return;
    if (onClick) {
        sheet_->SetClickAction([onClick](UiSheetDialog&) { onClick(); });
    } else {
        sheet_->SetClickAction(nullptr);
    }
    sheet_->SetText(&text);
    sheet_->ShowTip(UiSheetDialog::kModeShow, durationMs);
}

void SharedDialogs::HideSheetTip() {
    AssertMainThread("SharedDialogs::HideSheetTip");
    if (!sheet_) return;
    sheet_->SetClickAction(nullptr);
    sheet_->ShowTip(UiSheetDialog::kModeHide, 5000);
    sheet_->SetText(nullptr);
}

int SharedDialogs::Alert(const std::u16string& message, const std::u16string& okText, const std::u16string& cancelText,
                         int width, int height, AlertPlacement placement) {
    AssertMainThread("SharedDialogs::Alert");
    UiAlertDialog alert(dpiScale_, Image("close-normal.png"), Image("close-pressed.png"), Image("alert.png"), false,
                        placement == AlertPlacement::kOverParent, okText, cancelText);
    alert.SetMessage(mainView_, width, height, message);
    return alert.RunModal(mainView_);
}

int SharedDialogs::Confirm(const std::u16string& message, const std::u16string& okText, const std::u16string& cancelText,
                           int width) {
    AssertMainThread("SharedDialogs::Confirm");
    UiAlertDialog confirm(dpiScale_, Image("close-normal.png"), Image("close-pressed.png"), Image("alert.png"), true,
                          true, okText, cancelText);
    confirm.SetMessage(mainView_, width, 0, message);
    const int result = confirm.RunModal(mainView_);
    // Only "ok" confirms; Escape, the title bar's close button and the
    // window manager all mean "no".
    return result == UiDialog::kConfirmId && confirm.Confirmed() ? UiDialog::kConfirmId : result;
}

int SharedDialogs::ShowLinkAlert(const LinkAlert& alert) {
    AssertMainThread("SharedDialogs::ShowLinkAlert");
    UiLinkAlertDialog dialog(dpiScale_, Image("close-normal.png"), Image("close-pressed.png"), Image("alert.png"), false,
                             false, alert.buttonText, dialog_resources::Tr16(u"cancel"));
    if (!alert.subTitle.empty()) dialog.SetSubTitle(U(alert.subTitle));
    if (!alert.title.empty()) dialog.SetTitle(U(alert.title));
    if (alert.onClick) {
        LinkClickCallback onClick = alert.onClick;
        dialog.SetLinkHandler([onClick](const std::u16string& url) { return onClick(BASUtilityString::Utf16ToUtf8(url)); });
    }
    dialog.SetMessage(mainView_, alert.width, alert.height, U(alert.link), alert.buttonText);
    return dialog.RunModal(mainView_);
}

void SharedDialogs::StartProgress(const ProgressStart& start) {
    AssertMainThread("SharedDialogs::StartProgress");
    if (progress_) progress_->Start(start);
}

void SharedDialogs::CancelProgress(const std::string& deviceId) {
    AssertMainThread("SharedDialogs::CancelProgress");
    if (progress_) progress_->CancelFromModule(deviceId);
}

void SharedDialogs::ChangeProgressLogo(QImage* logo) {
    AssertMainThread("SharedDialogs::ChangeProgressLogo");
    if (progress_) progress_->ChangeLogo(logo);
}

iOSProgressDialog* SharedDialogs::FindLoading(int32_t type, const std::string& key) const {
    auto it = loading_.find({type, key});
    return it == loading_.end() ? nullptr : it->second.get();
}

void SharedDialogs::OpenLoading(int32_t type, const std::string& key, QWidget* owner) {
    AssertMainThread("SharedDialogs::OpenLoading");
    std::shared_ptr<iOSProgressDialog>& dialog = loading_[{type, key}];
    if (!dialog) {
        const QString animation = QString::fromStdU16String(BASUtilityApp::GetProductInstallDir() + u"Resources/loading.gif");
        dialog = std::make_shared<iOSProgressDialog>(dpiScale_, key, animation);
        dialog->CreatePanel(owner ? owner : mainView_);
    }
    dialog->ShowPanel(true);
    loadingByKey_[key] = dialog;
}

void SharedDialogs::CloseLoading(int32_t type, const std::string& key) {
    AssertMainThread("SharedDialogs::CloseLoading");
    auto it = loading_.find({type, key});
    if (it == loading_.end()) return;
    std::shared_ptr<iOSProgressDialog> dialog = it->second;
    loading_.erase(it);
    auto byKey = loadingByKey_.find(key);
    if (byKey != loadingByKey_.end() && byKey->second.lock() == dialog) loadingByKey_.erase(byKey);
    dialog->ShowPanel(false);
}

void SharedDialogs::UpdateLoading(int32_t type, const std::string& key, int64_t current, int64_t total) {
    AssertMainThread("SharedDialogs::UpdateLoading");
    if (iOSProgressDialog* dialog = FindLoading(type, key)) dialog->UpdateCount(current, total);
}

void SharedDialogs::CloseAllLoading() {
    AssertMainThread("SharedDialogs::CloseAllLoading");
    for (auto& entry : loading_) entry.second->ShowPanel(false);
    loadingByKey_.clear();
    loading_.clear();
}

void SharedDialogs::MainWindowMoved(int dx, int dy) {
    AssertMainThread("SharedDialogs::MainWindowMoved");
    // The sheet tip lies inside the main window and moves with it.
    for (auto& entry : loadingByKey_) {
        if (auto dialog = entry.second.lock()) dialog->CentreOverOwner();
    }
}

void SharedDialogs::MainViewResized() {
    AssertMainThread("SharedDialogs::MainViewResized");
    if (sheet_) sheet_->Layout();
    for (auto& entry : loadingByKey_) {
        if (auto dialog = entry.second.lock()) dialog->CentreOverOwner();
    }
}
