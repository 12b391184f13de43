// PixbridgeManager: the host program. Runs the life of the process in a fixed
// order: one instance only, worker pool, settings, logging, modules, then an
// ordered shutdown.
#include "app/product_identity.h"
#include "app/single_instance.h"
#include "app/system_summary.h"
#include "plugin_util.h"

#include <bedrock/auto_release.h>
#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>
#include <bedrock/vo_task_pool.h>

#include <glog/logging.h>
#include <libxml/parser.h>

#include <unistd.h>

#include <string>

namespace {

std::string Utf8(const std::u16string& s) { return BASUtilityString::Utf16ToUtf8(s); }

// Shuts logging down when main returns, after writing "OnDestroy".
class LoggingGuard {
public:
    LoggingGuard(const char* program, const std::string& folder) {
        FLAGS_max_log_size = 20;
        FLAGS_log_dir = folder;
        FLAGS_logbuflevel = -1;  // every entry reaches the file at once
        google::InitGoogleLogging(program);
    }
    ~LoggingGuard() {
        LOG(INFO) << "OnDestroy";
        google::ShutdownGoogleLogging();
    }
    LoggingGuard(const LoggingGuard&) = delete;
    LoggingGuard& operator=(const LoggingGuard&) = delete;
};

void LoadManifestModules() {
    BASUserDefaults* manifestStore = BASUserDefaults::GetUserDefaults("ApplicationManifest");
    const rapidjson::Value* manifest = manifestStore ? manifestStore->GetValueObject("manifest") : nullptr;
    if (!manifest || !manifest->IsObject()) return;
    auto version = manifest->FindMember("windows::version");
    if (version == manifest->MemberEnd() || !version->value.IsInt() || version->value.GetInt() != 1) return;
    auto application = manifest->FindMember("application");
    if (application == manifest->MemberEnd() || !application->value.IsObject()) return;
    auto modules = application->value.FindMember("modules");
    if (modules == application->value.MemberEnd() || !modules->value.IsArray()) return;
    for (const auto& entry : modules->value.GetArray()) {
        if (!entry.IsObject()) continue;
        auto name = entry.FindMember("windows:name");
        if (name == entry.MemberEnd() || !name->value.IsString()) continue;
        const std::u16string folder = BASUtilityApp::GetProductPluginsDir() +
                                      BASUtilityString::Utf8ToUtf16(name->value.GetString()) + u"/";
        if (const plugin_util::ModuleRecord* record = plugin_util::LoadModule(folder)) {
            LOG(INFO) << "loaded module " << record->id << " " << record->version << " from " << record->libraryPath;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    SingleInstance instance(product::SingleInstanceName());
    if (!instance.IsFirst()) return 0;

    AutoRelease::InitPool();
    VoTaskPool::Get()->Activate(5);
    AutoRelease::StartLocalPool();

    const std::string displayName = product::DisplayName();
    BASUserDefaults::InitStandardUserDefaults(product::kBrand, displayName.c_str());
    const std::u16string installDir = BASUtilityApp::GetProductInstallDir();
    BASUserDefaults::InitUserDefaults("ApplicationManifest", installDir + u"ApplicationManifest.json");
    BASUserDefaults::InitUserDefaults("url", installDir + u"Option.json");

    const std::string logFolder = Utf8(BASUtilitySys::GetTempDir()) + product::kBrand + "/" +
                                  BASUtilitySys::GetNowDateTime("%Y%m%d");
    BASUtilitySys::MakeDirs(BASUtilityString::Utf8ToUtf16(logFolder));
    const std::string program = argv[0] ? std::string(argv[0]).substr(std::string(argv[0]).rfind('/') + 1) : "PixbridgeManager";
    int exitCode = 0;
    {
        LoggingGuard logging(program.c_str(), logFolder);
        LOG(INFO) << "SysInfoStr: " << BuildSystemSummary();

        xmlInitParser();
        LIBXML_TEST_VERSION

        LoadManifestModules();
        plugin_util::RegisterHostModule("Product");
        LOG(INFO) << "start-up complete (pid " << getpid() << ")";

        if (BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults()) standard->WriteAll();
        xmlCleanupParser();
        VoTaskPool::Get()->Deactivate();
        AutoRelease::EndLocalPool();
        AutoRelease::PrintLeakObject(nullptr);
        AutoRelease::DestroyPool();
    }
    return exitCode;
}
