// The settings the host opens at start-up and keeps for the run: the stores,
// the language, the URL table, the suite file and the suite's paths.
#ifndef PIXBRIDGE_HOST_HOST_SETTINGS_H
#define PIXBRIDGE_HOST_HOST_SETTINGS_H

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class HostSettings {
public:
    HostSettings();
    ~HostSettings();
    HostSettings(const HostSettings&) = delete;
    HostSettings& operator=(const HostSettings&) = delete;
    // The host's instance (owned by the host application).
    static HostSettings& Get();

    // Start-up: standard store, manifest store, language, option file, and
    // the suite file from the first argument (or the suite preferences).
    void Load(const std::vector<std::string>& arguments);

    int32_t LanguageId() const;
    void SetLanguageId(int32_t id);
    // Writes the id, and nothing else, over the language file.
    bool SaveLanguage() const;
    std::u16string LanguageFilePath() const;

    // The URL of an option key, or null. Host-owned, valid for the run.
    const char* FindUrl(const std::string& key) const;
    int64_t ProductType() const { return productType_; }
    const std::u16string& SuiteFile() const { return suiteFile_; }
    // The launcher file the suite started the program with; empty when
    // the program was started on its own.
    std::u16string LauncherPath() const { return startedWithArgument_ ? suiteFile_ : std::u16string(); }
    const std::u16string& ServerPath() const { return serverPath_; }
    const std::u16string& ServicePath() const { return servicePath_; }
    int ProcessId() const { return processId_; }

    // The rules on their own, for the start-up above and the tests.
    static std::string SubstituteLocalSubDir(const std::string& url, int32_t languageId);
    static std::u16string SuitePreferencesFile(const std::u16string& installDir, const std::u16string& appDataDir);
    static int32_t ChooseLanguage(const std::u16string& languageFile);

    static constexpr const char* kUrlKeys[] = {
        "url:help",    "url:support", "url:feedback", "url:question", "url:brand",   "url:root:brand",
        "url:product", "url:facebook", "url:twitter", "url:google",   "url:history", "email:support"};

private:
    void ReadOptionFile();
    void OpenSuiteStore();

    mutable std::mutex mutex_;
    int32_t languageId_ = 3;
    int64_t productType_ = 0;
    int processId_ = 0;
    bool startedWithArgument_ = false;
    std::map<std::string, std::string> urls_;
    std::u16string suiteFile_;
    std::u16string serverPath_;
    std::u16string servicePath_;
};

#endif  // PIXBRIDGE_HOST_HOST_SETTINGS_H
