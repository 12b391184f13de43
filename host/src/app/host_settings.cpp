#include "host_settings.h"

#include "app/host_instance.h"

#include "language_choice.h"
#include "product_identity.h"

#include <aide/helper.h>
#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_utility_sys.h>
#include <lingua/wx_locale.h>

#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

namespace {

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

}  // namespace

HostSettings::HostSettings() { host_instance::Install(this); }
HostSettings::~HostSettings() { host_instance::Remove(this); }

HostSettings& HostSettings::Get() { return host_instance::Current<HostSettings>(); }

std::u16string HostSettings::LanguageFilePath() const {
    return BASUtilitySys::GetAppDataDir() + U(product::kBrand) + u"/" + U(product::DisplayName()) + u"/language.txt";
}

int32_t HostSettings::ChooseLanguage(const std::u16string& languageFile) {
    std::string text;
    if (BASUtilityFile::IsFileExist(languageFile) && Helper::ReadFileInMemory(languageFile, text)) {
        return language::LanguageIdOfFileText(text);
    }
    return language::LanguageIdOfIdentifier(language::LanguageIdentifierOfLocale(language::UserLocaleName()));
}

std::string HostSettings::SubstituteLocalSubDir(const std::string& url, int32_t languageId) {
    if (url.find("kLocalSubDir") == std::string::npos) return url;
    static const std::regex placeholder("[$][(]kLocalSubDir[)]");
    return std::regex_replace(url, placeholder, languageId == 8 ? "jp/" : "");
}

std::u16string HostSettings::SuitePreferencesFile(const std::u16string& installDir, const std::u16string& appDataDir) {
    const std::u16string prefix = appDataDir + U(product::kBrand) + u"/";
    const size_t at = installDir.find(prefix);
    if (at == std::u16string::npos) return {};
    // The suite folder: up to the first "/" after the prefix and at least one
    // more character.
    const size_t slash = installDir.find(u'/', at + prefix.size() + 1);
    if (slash == std::u16string::npos) return {};
    const std::u16string folder = installDir.substr(0, slash + 1);
    const std::u16string recommended = folder + u"Preferences-Recommend.json";
    return BASUtilityFile::IsFileExist(recommended) ? recommended : folder + u"Preferences.json";
}

void HostSettings::Load(const std::vector<std::string>& arguments) {
    processId_ = static_cast<int>(getpid());
    const std::string displayName = product::DisplayName();
    BASUserDefaults::InitStandardUserDefaults(product::kBrand, displayName.c_str());
    const std::u16string installDir = BASUtilityApp::GetProductInstallDir();
    BASUserDefaults::InitUserDefaults("ApplicationManifest", installDir + u"ApplicationManifest.json");

    languageId_ = ChooseLanguage(LanguageFilePath());
    if (wxLocale* locale = CreateLocale(languageId_)) locale->LoadLanguageCatalog((installDir + u"I18n/").c_str(), nullptr);

    if (BASUserDefaults::InitUserDefaults("url", installDir + u"Option.json")) ReadOptionFile();

    if (!arguments.empty()) {
        startedWithArgument_ = true;
        suiteFile_ = U(arguments.front());
        OpenSuiteStore();
    } else if (productType_ == 1) {
        suiteFile_ = SuitePreferencesFile(installDir, BASUtilitySys::GetAppDataDir());
    }
}

void HostSettings::ReadOptionFile() {
    BASUserDefaults* store = BASUserDefaults::GetUserDefaults("url");
    if (!store) return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const char* key : kUrlKeys) {
        if (const char* url = store->GetString(key)) urls_[key] = SubstituteLocalSubDir(url, languageId_);
    }
    productType_ = store->GetInt("product:type", 0);
}

void HostSettings::OpenSuiteStore() {
    // The argument is anybody's text (a file manager's, a script's): only a
    // regular file is opened as the launcher's JSON store, so a device or a
    // FIFO named there is never read. The store itself refuses anything that
    // is not a JSON object.
    struct stat st{};
    const std::string path = BASUtilityString::Utf16ToUtf8(suiteFile_);
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        LOG(WARNING) << "launcher file " << path << " is not a regular file; not read";
        return;
    }
    if (!BASUserDefaults::InitUserDefaults("HOST", suiteFile_)) return;
    BASUserDefaults* store = BASUserDefaults::GetUserDefaults("HOST");
    const char* server = store->GetString("ANDROID_SERVER_PATH");
    const char* service = store->GetString("ANDROID_SERVICE_PATH");
    if (!server || !service) return;
    const std::u16string serverPath = U(server), servicePath = U(service);
    if (BASUtilityFile::IsFileExist(serverPath) && BASUtilityFile::IsFileExist(servicePath)) {
        serverPath_ = serverPath;
        servicePath_ = servicePath;
    }
}

int32_t HostSettings::LanguageId() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return languageId_;
}

void HostSettings::SetLanguageId(int32_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    languageId_ = id;
}

bool HostSettings::SaveLanguage() const {
    const std::u16string path = LanguageFilePath();
    const size_t slash = path.rfind(u'/');
    BASUtilitySys::MakeDirs(path.substr(0, slash + 1));
    return Helper::WriteMemoryToFile(path, BASUtilityString::Format("%I64d", static_cast<long long>(LanguageId())));
}

const char* HostSettings::FindUrl(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = urls_.find(key);
    return it == urls_.end() ? nullptr : it->second.c_str();
}
