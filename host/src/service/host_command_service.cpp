#include "host_command_service.h"

#include "app/desktop_notices.h"
#include "app/host_settings.h"
#include "app/product_identity.h"
#include "command_threads.h"
#include "host_context.h"
#include "host_tables.h"
#include "image_cache.h"
#include "plugin_util.h"
#include "progress_counters.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>
#include <lingua/wx_locale.h>
#include <pixbridge/command_names.h>
#include <pixbridge/host_payloads.h>

#include <QStandardPaths>
#include <QWidget>

#include <rapidjson/document.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using command_threads::Copy;
using command_threads::Entry;
using command_threads::Thread;

std::u16string Tr(const char16_t* key) { return wxGetTranslation(key, u"Platform"); }
std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

char16_t* DupWide(const std::u16string& s) {
    auto* out = static_cast<char16_t*>(malloc((s.size() + 1) * sizeof(char16_t)));
    if (out) memcpy(out, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    return out;
}

QWidget* MainView() {
    MainWindowControl* window = HostContext::Get().Window();
    return window ? window->MainView() : nullptr;
}

// ---- the desktop ----

// A batch shorter than this ended while the user was still looking.
constexpr int64_t kNoticeAfterMs = 5000;

void ConversionProgress(ModuleCommand* command) {
    DesktopNotices* notices = HostContext::Get().Notices();
    if (!notices) return;
    if (command->kind == 0) {
        notices->ShowProgress(command->current, command->total);
        return;
    }
    notices->ClearProgress();
    QWidget* view = MainView();
    if (command->number < kNoticeAfterMs || (view && view->window()->isActiveWindow())) return;
    const auto converted = static_cast<int>(command->current);
    const auto failed = static_cast<int>(std::max<int64_t>(0, command->total - command->current));
    const std::u16string body = BASUtilityString::Format(Tr(u"convert-finished-%d-%d").c_str(), converted, failed);
    const std::u16string folder = U(command->text ? command->text : "");
    notices->Notify(QString::fromStdString(product::DisplayName()), QString::fromStdU16String(body),
                    QString::fromStdU16String(Tr(u"open-folder")), [folder] {
                        if (!folder.empty()) BASUtilityApp::OpenFolder(folder);
                    });
}

// ---- window ----

void PressMaxOrReset(ModuleCommand* command) {
    MainWindowControl* window = HostContext::Get().Window();
    if (!window) return;
    HostContext& host = HostContext::Get();
    bool maximised = false;
    if (window->WindowSystemMaximises()) {
        // The window manager or compositor maximises on the window's own
        // screen, under its panels, and puts the rectangle back itself.
        maximised = !window->IsMaximised();
        window->ShowMaximised(maximised);
    } else {
        // A bare X server: the host places the window on the screen it is on.
        maximised = !host.Maximised();
        host.SetMaximised(maximised);
        const QRect area = window->WorkArea();
        if (maximised) {
            host.SetRememberedRect(window->MainGeometry(), area);
            window->PlaceMain(area);
        } else {
            window->PlaceMain(RestoredRect(host.RememberedRect(), host.RememberedArea(), area));
        }
    }
    // The title bar shows maximise or restore by this.
    command->number = maximised ? 1 : 0;
}

void PressMinimize(ModuleCommand*) {
    if (MainWindowControl* window = HostContext::Get().Window()) window->Minimise();
}

void PressClose(ModuleCommand* command) {
    MainWindowControl* window = HostContext::Get().Window();
    if (!window) return;
    command->number = window->RequestClose() ? 1 : 0;
}

// ---- dialogs ----

void OpenAbout(ModuleCommand*) {
    HostContext& host = HostContext::Get();
    host.Dialogs().OpenAbout(host.Scaled(520), host.Scaled(380));
}

void CheckForUpdate(ModuleCommand* command) {
    command->window = MainView();
    HostContext::Get().Dialogs().CheckForUpdate(*command);
}

void OpenSetting(ModuleCommand*) {
    HostContext& host = HostContext::Get();
    HostSettings& settings = HostSettings::Get();
    int32_t chosen = settings.LanguageId();
    if (host.Dialogs().OpenSettings(host.Scaled(600), host.Scaled(240), settings.LanguageId(), &chosen) != kDialogConfirmed) {
        return;
    }
    const int32_t previous = settings.LanguageId();
    settings.SetLanguageId(chosen);
    if (!settings.SaveLanguage()) {
        // Not saved, not chosen: the next start reads the file as it is.
        settings.SetLanguageId(previous);
        const std::u16string message =
            BASUtilityString::Format(Tr(u"language-save-failed-%s").c_str(), settings.LanguageFilePath().c_str());
        host.Dialogs().Alert(message, Tr(u"ok"), Tr(u"cancel"), host.Scaled(440), 0);
        return;
    }
    // The new language applies from the next start: the loaded catalogues stay.
    std::u16string tip = BASUtilityString::Format(Tr(u"language-change-tip-%s").c_str(), U(product::DisplayName()).c_str());
    if (tip.size() > 255) tip.resize(255);
    host.Dialogs().ShowSheetTip(tip, 5000, nullptr);
}

void ReadyStartServer(ModuleCommand* command) {
    // The poster's record may have lived on a worker's stack: the copy
    // carries its own texts and none of the poster's other pointers.
    command->id = nullptr;
    command->data = nullptr;
    command->result = nullptr;
    // Posted again by the host: every other subscriber gets it, the host not.
    plugin_util::PostFromHost(command);
}

void ServerCrash(ModuleCommand*) {
    const std::u16string folder = HostContext::Get().LogFolder();
    HostContext::Get().Dialogs().ShowSheetTip(Tr(u"server-crash-warning"), 10000,
                                              [folder] { BASUtilityApp::OpenFolder(folder); });
}

void ShowSheetTip(ModuleCommand* command) {
    const auto* payload = static_cast<const rapidjson::Value*>(command->data);
    if (!payload || !payload->IsObject()) return;
    auto show = payload->FindMember("show");
    auto message = payload->FindMember("message");
    if (show == payload->MemberEnd() || !show->value.IsInt() || message == payload->MemberEnd() ||
        !message->value.IsString()) {
        return;
    }
    if (show->value.GetInt() != 0) {
        HostContext::Get().Dialogs().ShowSheetTip(U(message->value.GetString()), 5000, nullptr);
    } else {
        HostContext::Get().Dialogs().HideSheetTip();
    }
}

void OpenAlert(ModuleCommand* command) {
    const std::u16string message = command->wideText ? std::u16string(command->wideText) : std::u16string();
    HostContext::Get().Dialogs().Alert(message, Tr(u"ok"), Tr(u"cancel"), static_cast<int>(command->number), 0);
}

void OpenLinkAlert(ModuleCommand* command) {
    // The callback object is the host's from here, shown or not.
    std::unique_ptr<LinkClickCallback> callback(static_cast<LinkClickCallback*>(command->result));
    command->result = nullptr;
    rapidjson::Document doc;
    doc.Parse(command->data ? static_cast<const char*>(command->data) : "");
    if (doc.HasParseError() || !doc.IsObject()) return;
    auto str = [&](const char* key) {
        auto it = doc.FindMember(key);
        return it != doc.MemberEnd() && it->value.IsString() ? std::string(it->value.GetString()) : std::string();
    };
    auto num = [&](const char* key) {
        auto it = doc.FindMember(key);
        return it != doc.MemberEnd() && it->value.IsInt() ? it->value.GetInt() : 0;
    };
    LinkAlert alert;
    alert.link = str("link");
    alert.width = num("width");
    alert.height = num("height");
    alert.title = str("title");
    alert.subTitle = str("sub_title");
    alert.buttonText = Tr(u"ok");
    if (callback && *callback) alert.onClick = *callback;
    HostContext::Get().Dialogs().ShowLinkAlert(alert);
}

void DropLinkAlert(ModuleCommand* command) { delete static_cast<LinkClickCallback*>(command->result); }

void OpenConfirm(ModuleCommand* command) {
    const std::u16string message = command->wideText ? std::u16string(command->wideText) : std::u16string();
    const int result = HostContext::Get().Dialogs().Confirm(message, Tr(u"ok"), Tr(u"cancel"), static_cast<int>(command->number));
    // On the poster's own (main) thread the answer goes into the record; a
    // deferred copy's record is the host's own, so this changes nothing the
    // poster sees.
    command->number = result == kDialogConfirmed ? 1 : 0;
    // A callback object handed over is the host's either way.
    std::unique_ptr<ConfirmCallback> callback(static_cast<ConfirmCallback*>(command->result));
    command->result = nullptr;
    if (callback && *callback) (*callback)(result == kDialogConfirmed);
}

void DropConfirm(ModuleCommand* command) {
    // The window is gone: the question can never be asked, and a worker
    // waiting for the answer must not wait for ever.
    std::unique_ptr<ConfirmCallback> callback(static_cast<ConfirmCallback*>(command->result));
    if (callback && *callback) (*callback)(false);
}

// ---- progress ----

void UpdateProgress(ModuleCommand* command) {
    ProgressCounters& counters = ProgressCounters::Get();
    if (command->current) counters.SetPosition(static_cast<int32_t>(command->current));
    if (command->total) counters.SetTotal(static_cast<int32_t>(command->total));
    if (command->number) {
        counters.AddFailures(static_cast<int32_t>(command->number),
                             command->wideText ? std::u16string(command->wideText) : std::u16string());
    }
    if (command->result) counters.SetDescription(static_cast<const char16_t*>(command->result));
    if (command->data && counters.Running()) counters.SetLogo(static_cast<QImage*>(command->data));
}

void NotifyProgressFinish(ModuleCommand* command) {
    UpdateProgress(command);
    // The dialog sees the end at its next tick.
    ProgressCounters::Get().MarkFinished();
}

void StartProgress(ModuleCommand* command) {
    const auto* doc = static_cast<const rapidjson::Value*>(command->data);
    const auto* block = static_cast<const ProgressStartBlock*>(command->result);
    ProgressStart start;
    if (doc && doc->IsObject()) {
        auto str = [&](const char* key) {
            auto it = doc->FindMember(key);
            return it != doc->MemberEnd() && it->value.IsString() ? std::string(it->value.GetString()) : std::string();
        };
        auto flag = [&](const char* key) {
            auto it = doc->FindMember(key);
            return it != doc->MemberEnd() && it->value.IsInt() && it->value.GetInt() != 0;
        };
        start.showCurrentTotal = flag("show_current_total_number");
        start.outputDir = str("output_dir");
        start.desc = str("desc");
        start.title = str("title");
        start.autoClose = flag("auto_close_when_finish");
        start.deviceId = str("device_id");
    }
    if (block) {
        start.logo = static_cast<QImage*>(block->logo);
        start.cancelFunction = block->cancelFunction;
        start.cancelValue1 = block->cancelValue1;
        start.cancelValue2 = block->cancelValue2;
    }
    HostContext::Get().Dialogs().StartProgress(start);
}

void CancelProgress(ModuleCommand* command) {
    HostContext::Get().Dialogs().CancelProgress(command->text ? command->text : "");
}

void ChangeProgressLogo(ModuleCommand* command) {
    if (!command->data) return;
    auto* logo = static_cast<QImage*>(command->data);
    ProgressCounters::Get().SetLogo(logo);
    HostContext::Get().Dialogs().ChangeProgressLogo(logo);
}

void OpenLoading(ModuleCommand* command) {
    HostContext::Get().Dialogs().OpenLoading(static_cast<int32_t>(command->number), command->text ? command->text : "",
                                             static_cast<QWidget*>(command->window));
}

void CloseLoading(ModuleCommand* command) {
    HostContext::Get().Dialogs().CloseLoading(static_cast<int32_t>(command->number), command->text ? command->text : "");
}

void UpdateLoading(ModuleCommand* command) {
    HostContext::Get().Dialogs().UpdateLoading(static_cast<int32_t>(command->number), command->text ? command->text : "",
                                               command->current, command->total);
}

// ---- lookups and identity ----

void FindUrl(ModuleCommand* command) {
    command->result = command->text ? const_cast<char*>(HostSettings::Get().FindUrl(command->text)) : nullptr;
}

void FindImage(ModuleCommand* command) {
    if (!command->text) return;
    command->result = ImageCache::Get().Find(command->text);
}

void GetProductAlias(ModuleCommand* command) { command->text = strdup(product::DisplayName().c_str()); }
void GetProductVersion(ModuleCommand* command) { command->text = strdup(product::kVersion); }
void GetProductBrand(ModuleCommand* command) { command->text = strdup(product::kBrand); }

void GetServicePath(ModuleCommand* command) {
    command->wideText = const_cast<char16_t*>(HostSettings::Get().ServicePath().c_str());
}

void GetServerPath(ModuleCommand* command) {
    command->wideText = const_cast<char16_t*>(HostSettings::Get().ServerPath().c_str());
}

void GetTempDir(ModuleCommand* command) {
    const std::u16string folder = HostContext::Get().LogFolder();
    BASUtilitySys::MakeDirs(folder);
    command->wideText = DupWide(folder);
}

void GetModuleHwnd(ModuleCommand* command) {
    if (!command->text) return;
    void* window = nullptr;
    if (HostTables::Get().FindWindow(command->text, window)) command->window = window;
}

void GetGdiplusFont(ModuleCommand* command) {
    command->result = command->text ? HostTables::Get().FindGdiplusFont(command->text) : nullptr;
}

void GetFont(ModuleCommand* command) {
    command->result = command->text ? HostTables::Get().FindFont(command->text) : nullptr;
}

void GetPersonalProductDir(ModuleCommand* command) {
    std::u16string documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdU16String();
    if (documents.empty()) documents = BASUtilityString::Utf8ToUtf16(getenv("HOME") ? getenv("HOME") : "/tmp");
    const std::u16string sub = command->wideText ? std::u16string(command->wideText) : U(product::DisplayName());
    const std::u16string folder = documents + u"/" + sub + u"/";
    BASUtilitySys::MakeDirs(folder);
    command->wideText = DupWide(folder);
}

void GetDpiScale(ModuleCommand* command) {
    command->result = new (std::nothrow) float(HostContext::Get().DpiScale());
}

void ShowModule(ModuleCommand* command) {
    if (!command->id) return;
    if (plugin_util::FindModule(command->id)) {
        command->number = 5;
        command->command = LIBWINDOW_COMMAND_SHOW_WINDOW;
        plugin_util::PostFromHost(command);
        return;
    }
    const std::u16string folder = BASUtilityApp::GetProductPluginsDir() + U(command->id) + u"/";
    if (const plugin_util::ModuleRecord* record = plugin_util::LoadModule(folder)) {
        // Records live until the process ends, so the name stays valid.
        command->command = record->createCommand.c_str();
        plugin_util::PostFromHost(command);
    }
}

// ---- the table ----

// Subscribed in this order. Each entry names the thread its work runs on;
// command_threads::Dispatch holds every handler to it.
const Entry kCommands[] = {
    {LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET, Thread::kMain, Copy::kNothing, &PressMaxOrReset},
    {LIBPLATFORM_COMMAND_OPEN_ABOUT, Thread::kMain, Copy::kNothing, &OpenAbout},
    {LIBPLATFORM_COMMAND_FIND_URL, Thread::kDirect, Copy::kNothing, &FindUrl},
    {LIBPLATFORM_COMMAND_FIND_IMAGE, Thread::kDirect, Copy::kNothing, &FindImage},
    {LIBPLATFORM_COMMAND_CHECK_FOR_UPDATE, Thread::kMain, Copy::kNothing, &CheckForUpdate},
    {LIBPLATFORM_COMMAND_OPEN_SETTING, Thread::kMain, Copy::kNothing, &OpenSetting},
    {LIBCOMM_COMMAND_CHECK_FOR_UPDATE, Thread::kNone, Copy::kNothing, nullptr},
    {LIBCOMM_COMMAND_DOWNLOAD_UPDATE, Thread::kNone, Copy::kNothing, nullptr},
    {LIBCOMM_COMMAND_DOWNLOAD_UPDATE_CANCEL, Thread::kNone, Copy::kNothing, nullptr},
    {LIBCOMM_COMMAND_EXIT_SERVER, Thread::kNone, Copy::kNothing, nullptr},
    {LIBCOMM_COMMAND_READY_START_SERVER, Thread::kDeferred, Copy::kTexts, &ReadyStartServer},
    {LIBCOMM_COMMAND_SERVER_CRASH, Thread::kDeferred, Copy::kNothing, &ServerCrash},
    {LIBCOMM_COMMAND_START_SERVICE_FAIL, Thread::kNone, Copy::kNothing, nullptr},
    {LIBANDROID_COMMAND_ANDROID_STATUS_RECV, Thread::kNone, Copy::kNothing, nullptr},
    {LIBIOS_COMMAND_START_SERVER_FINISH, Thread::kNone, Copy::kNothing, nullptr},
    {LIBPLATFORM_COMMAND_GET_PRODUCT_ALIAS, Thread::kDirect, Copy::kNothing, &GetProductAlias},
    {LIBPLATFORM_COMMAND_GET_APP_NAME, Thread::kNone, Copy::kNothing, nullptr},
    {LIBCOMM_COMMAND_GET_ANDROID_SERVICE_PATH, Thread::kDirect, Copy::kNothing, &GetServicePath},
    {LIBCOMM_COMMAND_GET_ANDROID_SERVER_PATH, Thread::kDirect, Copy::kNothing, &GetServerPath},
    {LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, Thread::kDirect, Copy::kNothing, &UpdateProgress},
    {LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH, Thread::kDirect, Copy::kNothing, &NotifyProgressFinish},
    {LIBPLATFORM_COMMAND_START_PROGRESS, Thread::kMainOnly, Copy::kNothing, &StartProgress},
    {LIBPLATFORM_COMMAND_CANCEL_PROGRESS, Thread::kMain, Copy::kText, &CancelProgress},
    {LIBPLATFORM_COMMAND_SHOW_SHEET_TIP, Thread::kMain, Copy::kDataJson, &ShowSheetTip},
    {LIBPLATFORM_COMMAND_GET_TEMP_DIR, Thread::kDirect, Copy::kNothing, &GetTempDir},
    {LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE, Thread::kDeferred, Copy::kWideText, &OpenAlert},
    {LIBPLATFORM_COMMAND_OPEN_LINK_ALERT_MESSAGE, Thread::kDeferred, Copy::kDataText, &OpenLinkAlert, &DropLinkAlert},
    {LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE, Thread::kMain, Copy::kWideText, &OpenConfirm, &DropConfirm},
    {LIBPLATFORM_COMMAND_GET_PRODUCT_VERSION, Thread::kDirect, Copy::kNothing, &GetProductVersion},
    {LIBPLATFORM_COMMAND_GET_MODULE_HWND, Thread::kDirect, Copy::kNothing, &GetModuleHwnd},
    {LIBPLATFORM_COMMAND_GET_PRODUCT_BRAND, Thread::kDirect, Copy::kNothing, &GetProductBrand},
    {LIBPLATFORM_COMMAND_GET_GDIPLUS_FONT, Thread::kDirect, Copy::kNothing, &GetGdiplusFont},
    {LIBPLATFORM_COMMAND_GET_FONT, Thread::kDirect, Copy::kNothing, &GetFont},
    {LIBPLATFORM_COMMAND_GET_PERSONAL_PRODUCT_DIR, Thread::kDirect, Copy::kNothing, &GetPersonalProductDir},
    {LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT, Thread::kDirect, Copy::kNothing, &GetDpiScale},
    {LIBPLATFORM_COMMAND_SHOW_MODULE, Thread::kMain, Copy::kId, &ShowModule},
    {LIBPLATFORM_COMMAND_OPEN_DATA_TYPE_LOADING_DIALOG, Thread::kMain, Copy::kText, &OpenLoading},
    {LIBPLATFORM_COMMAND_CLOSE_DATA_TYPE_LOADING_DIALOG, Thread::kMain, Copy::kText, &CloseLoading},
    {LIBPLATFORM_COMMAND_UPDATE_DATA_TYPE_LOADING_DIALOG, Thread::kMainOnly, Copy::kNothing, &UpdateLoading},
    {LIBPLATFORM_COMMAND_CHANGE_PROGRESS_LOGO, Thread::kMain, Copy::kNothing, &ChangeProgressLogo},
    {LIBPLATFORM_COMMAND_PRESS_MINIMIZE, Thread::kMain, Copy::kNothing, &PressMinimize},
    {LIBPLATFORM_COMMAND_PRESS_CLOSE, Thread::kMain, Copy::kNothing, &PressClose},
    {LIBPLATFORM_COMMAND_CONVERSION_PROGRESS, Thread::kMain, Copy::kText, &ConversionProgress},
};

}  // namespace

const std::vector<const char*>& HostCommandNames() {
    static const std::vector<const char*> names = [] {
        std::vector<const char*> out;
        for (const Entry& e : kCommands) out.push_back(e.name);
        return out;
    }();
    return names;
}

int32_t HostCommandService(ModuleCommand* command) {
    if (!command || !command->command) return 0;
    for (const Entry& e : kCommands) {
        if (strcmp(command->command, e.name) == 0) {
            command_threads::Dispatch(e, command);
            break;
        }
    }
    return 0;
}

void SubscribeHostCommands() {
    for (const Entry& e : kCommands) plugin_util::SubscribeHandler(e.name, &HostCommandService);
}
