// Named settings stores, each a JSON object kept in a file.
#ifndef BEDROCK_BAS_USER_DEFAULTS_H
#define BEDROCK_BAS_USER_DEFAULTS_H

#include "bedrock_export.h"

#include <rapidjson/document.h>

#include <cstdint>
#include <mutex>
#include <string>

class BEDROCK_EXPORT BASUserDefaults {
public:
    // The standard store: <app data>/<company>/<product>/UserDefaults.json.
    // Returns false only when its folder cannot be made; a missing file is an
    // empty store.
    static bool InitStandardUserDefaults(const char* company, const char* product);
    // Opens `path` as the store `name`. The store exists afterwards whatever
    // happens; the result (and IsOk) says whether the file held a JSON object.
    static bool InitUserDefaults(const char* name, const std::u16string& path);
    static BASUserDefaults* StandardUserDefaults();
    static BASUserDefaults* GetUserDefaults(const char* name);

    static constexpr const char* kStandardName = "standard";

    // What the store found in its file when it opened.
    enum class LoadState {
        Loaded,      // a JSON object
        Missing,     // no file yet: an empty store, saved normally
        Corrupt,     // not JSON, not an object, or nested too deep: the first
                     // save first moves it aside to "<file>.corrupt-<date>"
        Unreadable,  // there, but not readable as a regular file under the size
                     // cap (permissions, a FIFO, a device, too large): never saved over
    };

    bool IsOk() const;
    LoadState State() const;
    // Why the file did not load; empty when it did.
    std::string LoadError() const;
    bool HasMember(const char* key) const;
    // Store-owned text, valid until the key is set again; null when the key is
    // missing or not a string.
    const char* GetString(const char* key) const;
    int64_t GetInt(const char* key, int64_t fallback = 0) const;
    double GetDouble(const char* key, double fallback = 0.0) const;
    // A packed 0xRRGGBB number, or "#RRGGBB" text.
    uint32_t GetRGB(const char* key, uint32_t fallback = 0) const;
    // The member's value inside the store, or null. Only for reading on the
    // thread that owns the store's set-up.
    const rapidjson::Value* GetValueObject(const char* key) const;

    void SetString(const char* key, const char* value);
    void SetInt(const char* key, int64_t value);

    // Saves atomically: a temporary file beside the store, then a rename. A
    // corrupt file is first kept beside the store (and logged); an unreadable
    // one is left alone and the save fails.
    bool WriteAll();

    const std::string& FilePath() const { return path_; }

    BASUserDefaults(std::string path);
    BASUserDefaults(const BASUserDefaults&) = delete;
    BASUserDefaults& operator=(const BASUserDefaults&) = delete;

private:
    void Load();
    bool KeepCorruptFile();
    const rapidjson::Value* Find(const char* key) const;

    std::string path_;
    mutable std::mutex mutex_;
    std::mutex saveMutex_;
    rapidjson::Document doc_;
    bool ok_ = false;
    LoadState state_ = LoadState::Missing;
    std::string loadError_;
};

#endif  // BEDROCK_BAS_USER_DEFAULTS_H
