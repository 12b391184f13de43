#include "host_command_service.h"

#include "app/host_settings.h"
#include "app/product_identity.h"
#include "host_context.h"
#include "host_tables.h"
#include "image_cache.h"
#include "plugin_util.h"
#include "progress_counters.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>
#include <canvas/dispatch_queue.h>
#include <lingua/wx_locale.h>
#include <pixbridge/command_names.h>
#include <pixbridge/host_payloads.h>

#include <QStandardPaths>
#include <QWidget>

#include <rapidjson/document.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace {

using Handler = void (*)(ModuleCommand*);

std::u16string Tr(const char16_t* key) { return wxGetTranslation(key, u"Platform"); }
std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

char16_t* DupWide(const std::u16string& s) {
    auto* out = static_cast<char16_t*>(malloc((s.size() + 1) * sizeof(char16_t)));
    if (out) memcpy(out, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    return out;
}

size_t WideLength(const char16_t* s) {
    size_t n = 0;
    while (s && s[n]) ++n;
    return n;
}

// A deferred command: a copy of the record and the one text its work needs,
// run later on the main thread. The poster's record is left untouched.
struct DeferredCopy {
    ModuleCommand record{};
    std::u16string wide;
    std::string text;
};

void Defer(const ModuleCommand* command, std::unique_ptr<DeferredCopy> copy, void (*work)(DeferredCopy&)) {
    memcpy(&copy->record, command, sizeof(ModuleCommand));
    std::shared_ptr<DeferredCopy> shared(std::move(copy));
    DispatchQueue::DispatchGetMainQueue()->DispatchAsync([shared, work] { work(*shared); });
}

// Dialog work from a worker thread moves to the main thread; on the main
// thread it runs at once.
void OnMain(std::function<void()> work) {
    if (DispatchQueue::IsMainThread()) {
        work();
    } else {
        DispatchQueue::DispatchGetMainQueue()->DispatchAsync(std::move(work));
    }
}

QWidget* MainView() {
    MainWindowControl* window = HostContext::Get().Window();
    return window ? window->MainView() : nullptr;
}

// ---- window ----

struct MaximiseState {
    std::mutex mutex;
    bool maximised = false;
    QRect remembered;
};

MaximiseState& maximise() {
    static MaximiseState* state = new MaximiseState();
    return *state;
}

void PressMaxOrReset(ModuleCommand*) {
    MainWindowControl* window = HostContext::Get().Window();
    if (!window) return;
    MaximiseState& state = maximise();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.maximised = !state.maximised;
    if (state.maximised) {
        state.remembered = window->MainGeometry();
        const QRect area = window->WorkArea();
        window->PlaceMain(QRect(0, 0, area.width(), area.height()));
        window->PlaceView(QRect(1, 1, area.width() - 4, area.height() - 4));
    } else {
        window->PlaceMain(state.remembered);
        window->PlaceView(QRect(1, 1, state.remembered.width() - 4, state.remembered.height() - 4));
    }
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
    settings.SetLanguageId(chosen);
    settings.SaveLanguage();
    // The new language applies from the next start: the loaded catalogues stay.
    std::u16string tip = BASUtilityString::Format(Tr(u"language-change-tip-%s").c_str(), U(product::DisplayName()).c_str());
    if (tip.size() > 255) tip.resize(255);
    host.Dialogs().ShowSheetTip(tip, 5000, nullptr);
}

void ReadyStartServer(ModuleCommand* command) {
    auto copy = std::make_unique<DeferredCopy>();
    if (command->text) copy->text = command->text;
    if (command->wideText) copy->wide.assign(command->wideText, WideLength(command->wideText));
    Defer(command, std::move(copy), [](DeferredCopy& c) {
        // The poster's record may have lived on a worker's stack: the copy
        // carries its own texts and none of the poster's other pointers.
        c.record.text = c.record.text ? &c.text[0] : nullptr;
        c.record.wideText = c.record.wideText ? &c.wide[0] : nullptr;
        c.record.id = nullptr;
        c.record.data = nullptr;
        c.record.result = nullptr;
        // Posted again by the host: every other subscriber gets it, the host not.
        plugin_util::PostFromHost(&c.record);
    });
}

void ServerCrash(ModuleCommand*) {
    DispatchQueue::DispatchGetMainQueue()->DispatchAsync([] {
        const std::u16string folder = HostContext::Get().LogFolder();
        HostContext::Get().Dialogs().ShowSheetTip(Tr(u"server-crash-warning"), 10000,
                                                  [folder] { BASUtilityApp::OpenFolder(folder); });
    });
}

void ShowSheetTip(ModuleCommand* command) {
    const auto* payload = static_cast<const rapidjson::Value*>(command->data);
    if (!payload || !payload->IsObject()) return;
    auto show = payload->FindMember("show");
    auto message = payload->FindMember("message");
    const bool visible = show != payload->MemberEnd() && show->value.IsInt() && show->value.GetInt() != 0;
    if (visible) {
        const std::string text = message != payload->MemberEnd() && message->value.IsString() ? message->value.GetString() : "";
        OnMain([text] { HostContext::Get().Dialogs().ShowSheetTip(U(text), 5000, nullptr); });
    } else {
        OnMain([] { HostContext::Get().Dialogs().HideSheetTip(); });
    }
}

void OpenAlert(ModuleCommand* command) {
    auto copy = std::make_unique<DeferredCopy>();
    if (command->wideText) copy->wide.assign(command->wideText, WideLength(command->wideText));
    Defer(command, std::move(copy), [](DeferredCopy& c) {
        HostContext::Get().Dialogs().Alert(c.wide, Tr(u"ok"), Tr(u"cancel"), static_cast<int>(c.record.number), 0);
    });
}

void OpenLinkAlert(ModuleCommand* command) {
    auto copy = std::make_unique<DeferredCopy>();
    if (command->data) copy->text = static_cast<const char*>(command->data);
    // The callback object is the host's from here: copied now, the poster's
    // deleted, so a worker thread's stack never matters again.
    std::shared_ptr<LinkClickCallback> onClick;
    if (auto* callback = static_cast<LinkClickCallback*>(command->result)) {
        onClick = std::make_shared<LinkClickCallback>(*callback);
        delete callback;
    }
    memcpy(&copy->record, command, sizeof(ModuleCommand));
    std::shared_ptr<DeferredCopy> shared(std::move(copy));
    DispatchQueue::DispatchGetMainQueue()->DispatchAsync([shared, onClick] {
        rapidjson::Document doc;
        doc.Parse(shared->text.c_str());
        if (doc.HasParseError() || !doc.IsObject()) return;
        LinkAlert alert;
        auto str = [&](const char* key) {
            auto it = doc.FindMember(key);
            return it != doc.MemberEnd() && it->value.IsString() ? std::string(it->value.GetString()) : std::string();
        };
        auto num = [&](const char* key) {
            auto it = doc.FindMember(key);
            return it != doc.MemberEnd() && it->value.IsInt() ? it->value.GetInt() : 0;
        };
        alert.link = str("link");
        alert.width = num("width");
        alert.height = num("height");
        alert.title = str("title");
        alert.subTitle = str("sub_title");
        alert.buttonText = Tr(u"ok");
        if (onClick) alert.onClick = *onClick;
        HostContext::Get().Dialogs().ShowLinkAlert(alert);
    });
}

void OpenConfirm(ModuleCommand* command) {
    const int width = static_cast<int>(command->number);
    if (DispatchQueue::IsMainThread()) {
        const std::u16string message = command->wideText ? std::u16string(command->wideText) : std::u16string();
        const int result = HostContext::Get().Dialogs().Confirm(message, Tr(u"ok"), Tr(u"cancel"), width);
        command->number = result == kDialogConfirmed ? 1 : 0;
        // A callback object handed over is the host's either way.
        std::unique_ptr<ConfirmCallback> callback(static_cast<ConfirmCallback*>(command->result));
        if (callback && *callback) (*callback)(result == kDialogConfirmed);
        return;
    }
    auto copy = std::make_unique<DeferredCopy>();
    if (command->wideText) copy->wide.assign(command->wideText, WideLength(command->wideText));
    std::shared_ptr<ConfirmCallback> callback(static_cast<ConfirmCallback*>(command->result));
    memcpy(&copy->record, command, sizeof(ModuleCommand));
    std::shared_ptr<DeferredCopy> shared(std::move(copy));
    const bool queued = DispatchQueue::DispatchGetMainQueue()->DispatchAsync([shared, callback, width] {
        const int result = HostContext::Get().Dialogs().Confirm(shared->wide, Tr(u"ok"), Tr(u"cancel"), width);
        if (callback && *callback) (*callback)(result == kDialogConfirmed);
    });
    // The window is gone: the question can never be asked, and a worker
    // waiting for the answer must not wait for ever.
    if (!queued && callback && *callback) (*callback)(false);
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
    if (command->data) counters.SetLogo(static_cast<QImage*>(command->data));
}

void NotifyProgressFinish(ModuleCommand* command) {
    UpdateProgress(command);
    OnMain([] { HostContext::Get().Dialogs().MarkProgressFinished(); });
}

void StartProgress(ModuleCommand* command) {
    if (!DispatchQueue::IsMainThread()) return;
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
    ProgressCounters::Get().Reset();
    if (start.logo) ProgressCounters::Get().SetLogo(start.logo);
    HostContext::Get().Dialogs().StartProgress(start);
}

void CancelProgress(ModuleCommand* command) {
    const std::string deviceId = command->text ? command->text : "";
    OnMain([deviceId] { HostContext::Get().Dialogs().CancelProgress(deviceId); });
}

void ChangeProgressLogo(ModuleCommand* command) {
    if (!command->data) return;
    auto* logo = static_cast<QImage*>(command->data);
    ProgressCounters::Get().SetLogo(logo);
    OnMain([logo] { HostContext::Get().Dialogs().ChangeProgressLogo(logo); });
}

void OpenLoading(ModuleCommand* command) {
    const int32_t type = static_cast<int32_t>(command->number);
    const std::string key = command->text ? command->text : "";
    auto* owner = static_cast<QWidget*>(command->window);
    OnMain([type, key, owner] { HostContext::Get().Dialogs().OpenLoading(type, key, owner); });
}

void CloseLoading(ModuleCommand* command) {
    const int32_t type = static_cast<int32_t>(command->number);
    const std::string key = command->text ? command->text : "";
    OnMain([type, key] { HostContext::Get().Dialogs().CloseLoading(type, key); });
}

void UpdateLoading(ModuleCommand* command) {
    if (!DispatchQueue::IsMainThread()) return;
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

void NoAction(ModuleCommand*) {}

struct Entry {
    const char* name;
    Handler handler;
};

// Subscribed in this order; the handler table below is searched by name.
const Entry kCommands[] = {
    {LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET, &PressMaxOrReset},
    {LIBPLATFORM_COMMAND_OPEN_ABOUT, &OpenAbout},
    {LIBPLATFORM_COMMAND_FIND_URL, &FindUrl},
    {LIBPLATFORM_COMMAND_FIND_IMAGE, &FindImage},
    {LIBPLATFORM_COMMAND_CHECK_FOR_UPDATE, &CheckForUpdate},
    {LIBPLATFORM_COMMAND_OPEN_SETTING, &OpenSetting},
    {LIBCOMM_COMMAND_CHECK_FOR_UPDATE, &NoAction},
    {LIBCOMM_COMMAND_DOWNLOAD_UPDATE, &NoAction},
    {LIBCOMM_COMMAND_DOWNLOAD_UPDATE_CANCEL, &NoAction},
    {LIBCOMM_COMMAND_EXIT_SERVER, &NoAction},
    {LIBCOMM_COMMAND_READY_START_SERVER, &ReadyStartServer},
    {LIBCOMM_COMMAND_SERVER_CRASH, &ServerCrash},
    {LIBCOMM_COMMAND_START_SERVICE_FAIL, &NoAction},
    {LIBANDROID_COMMAND_ANDROID_STATUS_RECV, &NoAction},
    {LIBIOS_COMMAND_START_SERVER_FINISH, &NoAction},
    {LIBPLATFORM_COMMAND_GET_PRODUCT_ALIAS, &GetProductAlias},
    {LIBPLATFORM_COMMAND_GET_APP_NAME, &NoAction},
    {LIBCOMM_COMMAND_GET_ANDROID_SERVICE_PATH, &GetServicePath},
    {LIBCOMM_COMMAND_GET_ANDROID_SERVER_PATH, &GetServerPath},
    {LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, &UpdateProgress},
    {LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH, &NotifyProgressFinish},
    {LIBPLATFORM_COMMAND_START_PROGRESS, &StartProgress},
    {LIBPLATFORM_COMMAND_CANCEL_PROGRESS, &CancelProgress},
    {LIBPLATFORM_COMMAND_SHOW_SHEET_TIP, &ShowSheetTip},
    {LIBPLATFORM_COMMAND_GET_TEMP_DIR, &GetTempDir},
    {LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE, &OpenAlert},
    {LIBPLATFORM_COMMAND_OPEN_LINK_ALERT_MESSAGE, &OpenLinkAlert},
    {LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE, &OpenConfirm},
    {LIBPLATFORM_COMMAND_GET_PRODUCT_VERSION, &GetProductVersion},
    {LIBPLATFORM_COMMAND_GET_MODULE_HWND, &GetModuleHwnd},
    {LIBPLATFORM_COMMAND_GET_PRODUCT_BRAND, &GetProductBrand},
    {LIBPLATFORM_COMMAND_GET_GDIPLUS_FONT, &GetGdiplusFont},
    {LIBPLATFORM_COMMAND_GET_FONT, &GetFont},
    {LIBPLATFORM_COMMAND_GET_PERSONAL_PRODUCT_DIR, &GetPersonalProductDir},
    {LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT, &GetDpiScale},
    {LIBPLATFORM_COMMAND_SHOW_MODULE, &ShowModule},
    {LIBPLATFORM_COMMAND_OPEN_DATA_TYPE_LOADING_DIALOG, &OpenLoading},
    {LIBPLATFORM_COMMAND_CLOSE_DATA_TYPE_LOADING_DIALOG, &CloseLoading},
    {LIBPLATFORM_COMMAND_UPDATE_DATA_TYPE_LOADING_DIALOG, &UpdateLoading},
    {LIBPLATFORM_COMMAND_CHANGE_PROGRESS_LOGO, &ChangeProgressLogo},
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
            e.handler(command);
            break;
        }
    }
    return 0;
}

void SubscribeHostCommands() {
    for (const Entry& e : kCommands) plugin_util::SubscribeHandler(e.name, &HostCommandService);
}
