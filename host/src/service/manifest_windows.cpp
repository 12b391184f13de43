#include "manifest_windows.h"

#include "host_tables.h"
#include "plugin_util.h"

#include <bedrock/bas_json.h>
#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <pixbridge/module_contract.h>

#include <QWidget>

#include <glog/logging.h>

#include <cstdlib>
#include <cstring>

namespace manifest {
namespace {

const rapidjson::Value* Member(const rapidjson::Value* object, const char* key) {
    if (!object || !object->IsObject()) return nullptr;
    auto it = object->FindMember(key);
    return it == object->MemberEnd() ? nullptr : &it->value;
}

const rapidjson::Value* Modules() {
    const rapidjson::Value* modules = Member(Member(Manifest(), "application"), "modules");
    return modules && modules->IsArray() ? modules : nullptr;
}

std::string StringOf(const rapidjson::Value* value) {
    return value && value->IsString() ? std::string(value->GetString(), value->GetStringLength()) : std::string();
}

}  // namespace

const rapidjson::Value* Manifest() {
    BASUserDefaults* store = BASUserDefaults::GetUserDefaults("ApplicationManifest");
    const rapidjson::Value* manifest = store ? store->GetValueObject("manifest") : nullptr;
    const rapidjson::Value* version = Member(manifest, "windows::version");
    if (!version || !version->IsInt() || version->GetInt() != 1) return nullptr;
    return manifest;
}

bool IsPlainModuleName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && BASUtilityString::IsValidUtf8(name);
}

bool InstallFolderIsValidUtf8() { return BASUtilityApp::IsProductInstallDirValidUtf8(); }

std::vector<LoadFailure> LoadModules() {
    if (!InstallFolderIsValidUtf8()) {
        // Every path the program derives from it names a folder that does not
        // exist: say so once instead of once per module.
        const std::string reason = "the install folder's path " +
                                   BASUtilityString::Utf16ToUtf8(BASUtilityApp::GetProductInstallDir()) +
                                   " is not valid UTF-8, so no module can be found in it";
        LOG(ERROR) << "modules not loaded: " << reason;
        return {{kInstallFolderName, reason}};
    }
    return LoadModulesFrom(BASUtilityApp::GetProductPluginsDir());
}

std::vector<LoadFailure> LoadModulesFrom(const std::u16string& pluginsFolder) {
    std::vector<LoadFailure> failures;
    auto failed = [&](const std::string& module, const std::string& reason) {
        LOG(ERROR) << "module " << module << " not loaded: " << reason;
        failures.push_back({module, reason});
    };
    constexpr const char* kManifestName = "ApplicationManifest.json";
    BASUserDefaults* store = BASUserDefaults::GetUserDefaults("ApplicationManifest");
    if (!store) {
        failed(kManifestName, "the manifest was never opened");
        return failures;
    }
    switch (store->State()) {
    case BASUserDefaults::LoadState::Loaded:
        break;
    case BASUserDefaults::LoadState::Missing:
        failed(kManifestName, store->FilePath() + " is missing");
        return failures;
    default:
        failed(kManifestName, store->FilePath() + " " + store->LoadError());
        return failures;
    }
    if (!Manifest()) {
        failed(kManifestName, store->FilePath() + " has no \"manifest\" with \"windows::version\" 1");
        return failures;
    }
    const rapidjson::Value* modules = Modules();
    if (!modules) {
        failed(kManifestName, store->FilePath() + " lists no modules");
        return failures;
    }
    for (const auto& entry : modules->GetArray()) {
        const rapidjson::Value* nameValue = Member(&entry, "windows:name");
        const std::string name = StringOf(nameValue);
        if (!IsPlainModuleName(name)) {
            // "../x" or "a/b" would reach outside the plug-ins folder.
            failed(name.empty() ? std::string("(unnamed)") : name,
                   "the manifest names it as no single folder inside Plugins/");
            continue;
        }
        const std::u16string folder = pluginsFolder + BASUtilityString::Utf8ToUtf16(name) + u"/";
        std::string reason;
        if (const plugin_util::ModuleRecord* record = plugin_util::LoadModule(folder, &reason)) {
            LOG(INFO) << "loaded " << record->id << " " << record->version << " from " << record->libraryPath;
        } else {
            failed(name, reason);
        }
    }
    return failures;
}

int RectNumber(const rapidjson::Value& value, bool variablesAllowed, int viewWidth, int viewHeight, float dpiScale) {
    if (!value.IsString()) return 0;
    const std::string text = value.GetString();
    if (variablesAllowed && text == "${topViewWidth}") return viewWidth;
    if (variablesAllowed && text == "${topViewHeight}") return viewHeight;
    // Window lengths, not arbitrary numbers: clamped so scaling and the sums
    // of rect and offset stay far inside an int.
    long number = strtol(text.c_str(), nullptr, 10);
    if (number > 1000000) number = 1000000;
    if (number < -1000000) number = -1000000;
    return static_cast<int>(static_cast<float>(number) * dpiScale);
}

std::string CreatePayload(const rapidjson::Value& entry, int viewWidth, int viewHeight, float dpiScale) {
    rapidjson::Document payload;
    payload.SetObject();
    auto& a = payload.GetAllocator();
    const rapidjson::Value* parameters = Member(&entry, "windows:parameters");
    const rapidjson::Value* rectSpec = Member(parameters, "windows:rect");
    if (rectSpec) {
        const rapidjson::Value* rect = Member(rectSpec, "rect");
        const rapidjson::Value* offset = Member(rectSpec, "offset");
        // Missing elements count as 0, like an unreadable number.
        auto at = [&](const rapidjson::Value* array, rapidjson::SizeType i, bool variables) {
            if (!array || !array->IsArray() || i >= array->Size()) return 0;
            return RectNumber((*array)[i], variables, viewWidth, viewHeight, dpiScale);
        };
        rapidjson::Value numbers(rapidjson::kArrayType);
        PushJsonArrayIntValue(numbers, at(offset, 0, false) + at(rect, 0, false), a);
        PushJsonArrayIntValue(numbers, at(offset, 1, false) + at(rect, 1, false), a);
        PushJsonArrayIntValue(numbers, at(rect, 2, true) + at(offset, 2, false), a);
        PushJsonArrayIntValue(numbers, at(rect, 3, true) + at(offset, 3, false), a);
        AddJsonDictObjectValue(payload, "rect", numbers, a);
    }
    if (const rapidjson::Value* extra = Member(parameters, "windows:extra")) {
        rapidjson::Document reparsed;
        reparsed.Parse(ToString(*extra).c_str());
        if (!reparsed.HasParseError()) {
            rapidjson::Value copy(reparsed, a);
            AddJsonDictObjectValue(payload, "extra", copy, a);
        }
    }
    return ToString(payload);
}

void CreateModuleWindows(QWidget* mainView, float dpiScale) {
    const rapidjson::Value* modules = Modules();
    if (!modules || !mainView) return;
    const int viewWidth = mainView->width();
    const int viewHeight = mainView->height();
    for (const auto& entry : modules->GetArray()) {
        const plugin_util::ModuleRecord* record = plugin_util::FindModule(StringOf(Member(&entry, "windows:name")).c_str());
        if (!record) continue;
        void* parent = StringOf(Member(&entry, "windows:parentHwnd")) == "${topViewHwnd}" ? mainView : nullptr;
        std::string payload = CreatePayload(entry, viewWidth, viewHeight, dpiScale);
        ModuleCommand c;
        memset(&c, 0, sizeof c);
        c.command = record->createCommand.c_str();
        c.window = parent;
        c.text = payload.data();
        plugin_util::PostFromHost(&c);
        const std::string hwndName = StringOf(Member(&entry, "window:hwnd"));
        if (!hwndName.empty()) HostTables::Get().SetWindow(hwndName, c.window);
    }
}

}  // namespace manifest
