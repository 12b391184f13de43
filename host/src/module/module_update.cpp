#include "module_update.h"

#include "app/product_identity.h"
#include "common/plugin_util.h"
#include "installer_handover.h"
#include "module_base.h"
#include "service/progress_counters.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/shared_dialogs.h"
#include "ui/dialogs/ui_sheet_dialog.h"
#include "ui/dialogs/ui_update_download_dialog.h"
#include "ui/dialogs/ui_update_list_dialog.h"

#include <bedrock/bas_utility_string.h>
#include <canvas/dispatch_queue.h>

#include <glog/logging.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace {

constexpr int kSheetTipMs = 5000;
constexpr auto kStopWait = std::chrono::seconds(3);

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

// The tag of the language's section in the notes; "en" for any other id.
std::string LanguageTag(int32_t languageId) {
    const std::string code = product::LanguageCode(languageId);
    return code.empty() ? "en" : code;
}

bool IsMarker(const std::string& line) {
    if (line.size() < 3 || line.front() != '{' || line.back() != '}') return false;
    for (size_t i = 1; i + 1 < line.size(); ++i) {
        if (!isalpha(static_cast<unsigned char>(line[i]))) return false;
    }
    return true;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

}  // namespace

// What the flow shares with its work on the pool.
struct UpdateFlow::Shared {
    std::atomic<bool> checkRunning{false};
    std::atomic<bool> downloadCancel{false};
    std::atomic<bool> stopping{false};
    // The user asked while an automatic check was running: its result is
    // shown as the answer to the user's check.
    std::atomic<bool> askedDuringCheck{false};
    std::shared_ptr<ProgressCounters> counters;  // the download dialog's

    std::mutex mutex;
    std::condition_variable idle;
    int working = 0;
    LUUpdateData* list = nullptr;  // the newer versions of the last check

    ~Shared() { LUFreeLUUpdateData(list); }

    void SetList(LUUpdateData* newList) {
        std::lock_guard<std::mutex> lock(mutex);
        LUFreeLUUpdateData(list);
        list = newList;
    }
    LUUpdateData* TakeList() {
        std::lock_guard<std::mutex> lock(mutex);
        LUUpdateData* taken = list;
        list = nullptr;
        return taken;
    }

    // Counts the work running on the pool, so that Stop can wait for it.
    class Working {
    public:
        explicit Working(Shared& shared) : shared_(shared) {
            std::lock_guard<std::mutex> lock(shared_.mutex);
            ++shared_.working;
        }
        ~Working() {
            std::lock_guard<std::mutex> lock(shared_.mutex);
            --shared_.working;
            shared_.idle.notify_all();
        }
        Working(const Working&) = delete;
        Working& operator=(const Working&) = delete;

    private:
        Shared& shared_;
    };
};

std::shared_ptr<UpdateFlow> UpdateFlow::Create(Product product, SharedDialogs& dialogs, float dpiScale,
                                               std::function<void()> closeMainWindow) {
    return std::shared_ptr<UpdateFlow>(new UpdateFlow(std::move(product), dialogs, dpiScale, std::move(closeMainWindow)));
}

UpdateFlow::UpdateFlow(Product product, SharedDialogs& dialogs, float dpiScale, std::function<void()> closeMainWindow)
    : product_(std::move(product)),
      dialogs_(dialogs),
      dpiScale_(dpiScale),
      closeMainWindow_(std::move(closeMainWindow)),
      shared_(std::make_shared<Shared>()) {
    if (UiUpdateDownloadDialog* download = dialogs_.UpdateDownload()) shared_->counters = download->Counters();
}

UpdateFlow::~UpdateFlow() {
    // The work on the pool may still reach the shared state, never the flow.
    shared_->stopping.store(true);
    shared_->downloadCancel.store(true);
}

bool UpdateFlow::CheckRunning() const { return shared_->checkRunning.load(); }

void UpdateFlow::Stop() {
    if (shared_->stopping.exchange(true)) return;
    shared_->downloadCancel.store(true);
    LUStopAll();
    std::unique_lock<std::mutex> lock(shared_->mutex);
    if (!shared_->idle.wait_for(lock, kStopWait, [this] { return shared_->working == 0; })) {
        LOG(WARNING) << "update work still running at exit";
    }
}

// --- the check ------------------------------------------------------------

void UpdateFlow::StartUpdateCheck(const ModuleCommand& record) {
    dialog_resources::AssertMainThread("UpdateFlow::StartUpdateCheck");
    if (shared_->stopping.load()) return;
    const bool interactive = record.number != 0;
    UiUpdateListDialog* list = dialogs_.UpdateList();
    if (downloading_) {
        // The update is already on its way; its dialog says how far.
        if (interactive && dialogs_.UpdateDownload()) dialogs_.UpdateDownload()->Show(true);
        return;
    }
    if (list && list->Pending()) {
        OpenListDialog();
        return;
    }
    bool idle = false;
    if (!shared_->checkRunning.compare_exchange_strong(idle, true)) {
        if (interactive) {
            // The running check answers this one too; should it take long
            // (a slow server), the user hears that it still runs rather
            // than nothing at all.
            shared_->askedDuringCheck.store(true);
            const int ask = ++asks_;
            std::weak_ptr<UpdateFlow> flow = weak_from_this();
            QTimer::singleShot(kAskedDuringCheckWaitMs, [flow, ask] {
                if (std::shared_ptr<UpdateFlow> self = flow.lock()) self->GiveUpWaitingForCheck(ask);
            });
        }
        return;
    }
    shared_->askedDuringCheck.store(false);
    std::shared_ptr<Shared> shared = shared_;
    std::weak_ptr<UpdateFlow> flow = weak_from_this();
    Product product = product_;
    module_base::PostTask([shared, flow, product, interactive](const std::shared_ptr<VoTask>& task) {
        CheckWork(shared, flow, product, interactive);
        NotifySchedular(task, VoTaskStatusFinished);
    });
}

void UpdateFlow::CheckWork(const std::shared_ptr<Shared>& shared, const std::weak_ptr<UpdateFlow>& flow,
                           const Product& product, bool interactive) {
    Shared::Working working(*shared);
    const LUCheckRequest request{product.rootUrl.c_str(), product.brand.c_str(), product.displayName.c_str(),
                                 product.version.c_str(), product.productType, product.checkDeadlineSeconds};
    LUUpdateData* list = nullptr;
    const int32_t code = LUCheckForUpdate(&list, &request);
    LOG(INFO) << "LUCheckForUpdate: " << code;
    CheckResult result;
    if (code != LU_OK) {
        shared->checkRunning.store(false);
        result.ok = code == LU_NO_NEWER_VERSION;
    } else {
        result.ok = true;
        result.json = BuildUpdateJson(list, product.languageId);
        shared->SetList(list);
    }
    DispatchQueue::DispatchGetMainQueue()->DispatchAsync([flow, interactive, result] {
        if (std::shared_ptr<UpdateFlow> self = flow.lock()) self->ShowResult(interactive, result);
    });
}

std::vector<std::string> UpdateFlow::LinesForLanguage(const LUDescriptionLine* lines, const std::string& languageTag) {
    auto section = [lines](const std::string& tag, bool& found) {
        std::vector<std::string> out;
        const std::string marker = "{" + tag + "}";
        bool inside = false;
        found = false;
        for (const LUDescriptionLine* line = lines; line; line = line->next) {
            const std::string text = line->text ? line->text : "";
            if (IsMarker(text)) {
                inside = SameIgnoringCase(text, marker);
                found = found || inside;
                continue;
            }
            if (inside) out.push_back(text);
        }
        return out;
    };
    bool found = false;
    std::vector<std::string> out = section(languageTag, found);
    if (found) return out;
    out = section("en", found);
    if (found) return out;
    bool anyMarker = false;
    for (const LUDescriptionLine* line = lines; line; line = line->next) anyMarker = anyMarker || IsMarker(line->text ? line->text : "");
    if (anyMarker) return {};
    for (const LUDescriptionLine* line = lines; line; line = line->next) out.push_back(line->text ? line->text : "");
    return out;
}

std::string UpdateFlow::BuildUpdateJson(const LUUpdateData* list, int32_t languageId) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (const LUUpdateData* update = list; update; update = update->next) {
        writer.StartObject();
        writer.Key("version");
        writer.String(update->version ? update->version : "");
        writer.Key("md5");
        writer.String(update->md5 ? update->md5 : "");
        writer.Key("path_remote");
        writer.String(update->remotePath ? update->remotePath : "");
        writer.Key("descriptions");
        writer.StartArray();
        for (const std::string& line : LinesForLanguage(update->descriptions, LanguageTag(languageId))) {
            writer.String(line.c_str(), static_cast<rapidjson::SizeType>(line.size()));
        }
        writer.EndArray();
        writer.EndObject();
    }
    writer.EndArray();
    return buffer.GetString();
}

void UpdateFlow::ShowResult(bool interactive, const CheckResult& result) {
    interactive = shared_->askedDuringCheck.exchange(false) || interactive;
    UiUpdateListDialog* list = dialogs_.UpdateList();
    if (result.ok && !result.json.empty() && list) {
        rapidjson::Document doc;
        doc.Parse(result.json.c_str(), result.json.size());
        if (doc.HasParseError() || !doc.IsArray() || doc.Empty()) {
            shared_->checkRunning.store(false);
            return;
        }
        // OpenListDialog gives "update now" its action whenever the list shows.
        std::weak_ptr<UpdateFlow> flow = weak_from_this();
        list->ClearNotes();
        list->SetPending(true);
        std::u16string notes;
        for (rapidjson::SizeType i = 0; i < doc.Size(); ++i) {
            const rapidjson::Value& entry = doc[i];
            if (i > 0) notes += u"\n";
            notes += dialog_resources::Tr16(u"version") + u": " + U(entry["version"].GetString()) + u"\n";
            for (const rapidjson::Value& line : entry["descriptions"].GetArray()) notes += U(line.GetString()) + u"\n";
        }
        list->AppendNotes(notes);
        if (interactive) {
            OpenListDialog();
        } else if (!dialogs_.SheetTip() || !dialogs_.SheetTip()->isVisible()) {
            const std::u16string version = U(doc[0]["version"].GetString());
            dialogs_.ShowSheetTip(BASUtilityString::Format(dialog_resources::Tr16(u"new-version-found-%s").c_str(), version.c_str()),
                                  kSheetTipMs, [flow] {
                                      if (std::shared_ptr<UpdateFlow> self = flow.lock()) self->OpenListDialog();
                                  });
        }
        return;
    }
    // Nothing newer, or no answer: said only when the user asked.
    if (!interactive) return;
    const std::u16string message =
        result.ok ? BASUtilityString::Format(dialog_resources::Tr16(u"is-lastest-version-%s").c_str(), U(product_.version).c_str())
                  : dialog_resources::Tr16(u"update-failed-check-network");
    // Centred like the update's other dialogs, not moved up as a module's alert is.
    dialogs_.Alert(message, dialog_resources::Tr16(u"ok"), dialog_resources::Tr16(u"cancel"), Scaled(440), Scaled(100),
                   AlertPlacement::kCentred);
}

void UpdateFlow::GiveUpWaitingForCheck(int ask) {
    // Only the latest ask's timer speaks, and only while its answer is still
    // owed; a result that comes later is shown as the automatic check's.
    if (ask != asks_ || !shared_->askedDuringCheck.exchange(false)) return;
    dialogs_.Alert(dialog_resources::Tr16(u"update-check-still-running"), dialog_resources::Tr16(u"ok"),
                   dialog_resources::Tr16(u"cancel"), Scaled(440), Scaled(100), AlertPlacement::kCentred);
}

void UpdateFlow::OpenListDialog() {
    UiUpdateListDialog* list = dialogs_.UpdateList();
    if (!list) return;
    std::weak_ptr<UpdateFlow> flow = weak_from_this();
    list->SetUpdateNowAction([flow] {
        if (std::shared_ptr<UpdateFlow> self = flow.lock()) self->StartDownload();
    });
    list->Open();
}

// --- the download ---------------------------------------------------------

void UpdateFlow::StartDownload() {
    dialog_resources::AssertMainThread("UpdateFlow::StartDownload");
    UiUpdateDownloadDialog* download = dialogs_.UpdateDownload();
    if (downloading_ || shared_->stopping.load() || !download) return;
    downloading_ = true;
    // A cancel of an earlier download must not stop this one.
    shared_->downloadCancel.store(false);
    std::shared_ptr<Shared> shared = shared_;
    download->Begin(dialog_resources::Tr16(u"downloading-update"), [shared] { shared->downloadCancel.store(true); });
    std::weak_ptr<UpdateFlow> flow = weak_from_this();
    module_base::PostTask([shared, flow](const std::shared_ptr<VoTask>& task) {
        DownloadWork(shared, flow);
        NotifySchedular(task, VoTaskStatusFinished);
    });
}

void UpdateFlow::DownloadWork(const std::shared_ptr<Shared>& shared, const std::weak_ptr<UpdateFlow>& flow) {
    Shared::Working working(*shared);
    LUUpdateData* list = shared->TakeList();
    auto progress = [](void* context, double total, double now) -> int32_t {
        auto* state = static_cast<Shared*>(context);
        if (state->downloadCancel.load()) return -2;
        if (state->counters) {
            state->counters->SetPosition(static_cast<int32_t>(now));
            state->counters->SetTotal(static_cast<int32_t>(total));
        }
        return 0;
    };
    const int32_t code = list ? LUDownloadUpdate(list, progress, shared.get()) : LU_BAD_ARGUMENT;
    LOG(INFO) << "LUDownloadUpdate: " << code;
    DownloadResult result;
    result.number = code == LU_OK ? 1 : code == LU_CANCELLED ? 5 : 6;
    if (code == LU_OK && list->localPath) {
        result.installerPath = list->localPath;
        result.sha256 = list->sha256 ? list->sha256 : "";
    }
    if (code == LU_UNSAFE_FOLDER) {
        char* folder = nullptr;
        LUCheckDownloadFolder(&folder);
        result.unsafeFolder = folder ? folder : "";
        free(folder);
        LOG(ERROR) << "the download folder is not the user's own alone: " << result.unsafeFolder;
    }
    LUFreeLUUpdateData(list);
    DispatchQueue::DispatchGetMainQueue()->DispatchAsync([flow, result] {
        if (std::shared_ptr<UpdateFlow> self = flow.lock()) self->Install(result);
    });
}

void UpdateFlow::Install(const DownloadResult& result) {
    downloading_ = false;
    // However the download ended, the list is gone and a new check may run.
    if (UiUpdateListDialog* list = dialogs_.UpdateList()) list->SetPending(false);
    shared_->checkRunning.store(false);
    UiUpdateDownloadDialog* download = dialogs_.UpdateDownload();
    if (!download) return;
    switch (result.number) {
    case 1:
        if (shared_->downloadCancel.load()) {
            // Cancelled after the last progress report: the user's choice
            // stands, the package goes.
            QFile::remove(QString::fromStdString(result.installerPath));
            break;
        }
        download->EndWithInstaller(U(result.installerPath), dialog_resources::Tr16(u"close-app-desc"));
        HandOver(QString::fromStdString(result.installerPath), QString::fromStdString(result.sha256));
        break;
    case 6:
        download->EndWithFailure(
            result.unsafeFolder.empty()
                ? dialog_resources::Tr16(u"download-failed-check-network")
                : BASUtilityString::Format(dialog_resources::Tr16(u"update-folder-unsafe-%s").c_str(), U(result.unsafeFolder).c_str()));
        break;
    default:
        break;
    }
}

void UpdateFlow::HandOver(const QString& installer, const QString& sha256) {
    if (!QFile::exists(installer)) {
        LOG(ERROR) << "the downloaded package is gone: " << installer.toStdString();
        CloseMainWindow();
        return;
    }
    const std::optional<installer_handover::Command> command =
        installer_handover::InstallCommand(installer, sha256, installer_handover::SystemTools());
    if (!command) {
        LOG(ERROR) << "no way to install " << installer.toStdString() << " (no install helper or pkexec, no xdg-open)";
        TellInstallFailed(installer);
        return;
    }
    if (command->installs) {
        // pkexec acts for the process that started it and refuses one whose
        // starter is gone, so the program stays its parent and waits; it
        // closes once the update is installed. Inside a suite it then also
        // starts the newest copy, which needs the installation finished.
        std::shared_ptr<Shared> shared = shared_;
        std::weak_ptr<UpdateFlow> flow = weak_from_this();
        const installer_handover::Command install = *command;
        module_base::PostTask([shared, flow, install, installer](const std::shared_ptr<VoTask>& task) {
            Shared::Working working(*shared);
            const int exitCode = installer_handover::RunAndWait(install);
            LOG(INFO) << "installer ended with " << exitCode;
            DispatchQueue::DispatchGetMainQueue()->DispatchAsync([flow, installer, exitCode] {
                if (std::shared_ptr<UpdateFlow> self = flow.lock()) self->FinishInstall(installer, exitCode);
            });
            NotifySchedular(task, VoTaskStatusFinished);
        });
        return;
    }
    // The desktop's installer takes the file over and installs it later.
    if (!installer_handover::StartDetached(*command)) {
        TellInstallFailed(installer);
        return;
    }
    CloseMainWindow();
}

void UpdateFlow::FinishInstall(const QString& installer, int exitCode) {
    // Not installed: the password prompt was dismissed, the helper refused
    // the package, or the installation failed. The program stays, and the
    // package with it.
    if (exitCode != 0) {
        TellInstallFailed(installer);
        return;
    }
    // Installed: the helper installed its own copy, and this one has done.
    QFile::remove(installer);
    if (product_.productType == 1 && !product_.launcherPath.empty()) {
        std::vector<std::u16string> others;
        const std::u16string folder = plugin_util::FindNewestAddinProgram(U(product_.displayName), others);
        if (!folder.empty()) {
            const QString program =
                QString::fromStdU16String(folder) + QStringLiteral("/Bin/") + QString::fromStdString(product_.displayName);
            installer_handover::StartDetached({program, {QString::fromStdU16String(product_.launcherPath)}});
        }
    }
    CloseMainWindow();
}

void UpdateFlow::TellInstallFailed(const QString& installer) {
    UiUpdateDownloadDialog* download = dialogs_.UpdateDownload();
    if (!download) return;
    const std::u16string folder = QFileInfo(installer).absolutePath().toStdU16String();
    download->EndWithFailure(
        BASUtilityString::Format(dialog_resources::Tr16(u"update-install-failed-%s").c_str(), folder.c_str()));
    download->Show(true);
}

void UpdateFlow::CloseMainWindow() {
    if (closeMainWindow_) closeMainWindow_();
}
