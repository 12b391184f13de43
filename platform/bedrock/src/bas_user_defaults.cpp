#include "bedrock/bas_user_defaults.h"

#include "bedrock/bas_json.h"
#include "bedrock/bas_utility_file.h"
#include "bedrock/bas_utility_string.h"
#include "bedrock/bas_utility_sys.h"

#include <rapidjson/error/en.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <glog/logging.h>

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

std::mutex& StoresMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, std::unique_ptr<BASUserDefaults>>& Stores() {
    // Never destroyed: stores are read by threads until the very end.
    static auto* stores = new std::map<std::string, std::unique_ptr<BASUserDefaults>>();
    return *stores;
}

BASUserDefaults* OpenStore(const char* name, const std::string& path, bool* ok) {
    auto store = std::make_unique<BASUserDefaults>(path);
    *ok = store->IsOk();
    std::lock_guard<std::mutex> lock(StoresMutex());
    auto& slot = Stores()[name ? name : ""];
    slot = std::move(store);
    return slot.get();
}


}  // namespace

BASUserDefaults::BASUserDefaults(std::string path) : path_(std::move(path)) {
    doc_.SetObject();
    Load();
    ok_ = state_ == LoadState::Loaded;
}

void BASUserDefaults::Load() {
    std::string text, error;
    switch (BASUtilityFile::ReadRegularFile(path_, text, BASUtilityFile::kMaxDataFileBytes, &error)) {
    case BASUtilityFile::ReadStatus::Ok:
        break;
    case BASUtilityFile::ReadStatus::Missing:
        state_ = LoadState::Missing;
        return;
    default:
        // Whatever it holds, it is not ours to replace.
        state_ = LoadState::Unreadable;
        loadError_ = "cannot be read: " + error;
        LOG(ERROR) << "settings file " << path_ << " " << loadError_ << "; it will not be saved over";
        return;
    }
    rapidjson::Document parsed;
    if (!ParseJsonText(parsed, text, &error) || !parsed.IsObject()) {
        // The file is left as it is until the first save, which keeps it
        // beside the new one.
        state_ = LoadState::Corrupt;
        loadError_ = "is not a JSON object: " + (error.empty() ? std::string("another JSON value") : error);
        LOG(ERROR) << "settings file " << path_ << " " << loadError_;
        return;
    }
    doc_.Swap(parsed);
    state_ = LoadState::Loaded;
}

// Moves the corrupt file aside under a name of its own, never over another
// file. Called with the store's lock held.
bool BASUserDefaults::KeepCorruptFile() {
    const std::string stem = path_ + ".corrupt-" + BASUtilitySys::GetNowDateTime("%Y%m%d-%H%M%S");
    for (int n = 1; n < 100; ++n) {
        const std::string kept = n == 1 ? stem : stem + "-" + std::to_string(n);
        if (renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, kept.c_str(), RENAME_NOREPLACE) == 0) {
            LOG(WARNING) << "settings file " << path_ << " " << loadError_ << "; the damaged file is kept as " << kept;
            return true;
        }
        if (errno == ENOENT) return true;  // gone meanwhile: nothing to keep
        if (errno != EEXIST) {
            LOG(ERROR) << "settings file " << path_ << " " << loadError_ << "; it cannot be kept as " << kept << ": "
                       << strerror(errno) << ", so it is not saved over";
            return false;
        }
    }
    LOG(ERROR) << "settings file " << path_ << ": no free name to keep the damaged file, so it is not saved over";
    return false;
}

bool BASUserDefaults::InitStandardUserDefaults(const char* company, const char* product) {
    const std::string folder = BASUtilityString::Utf16ToUtf8(BASUtilitySys::GetAppDataDir()) +
                               (company ? company : "") + "/" + (product ? product : "") + "/";
    const bool made = BASUtilitySys::MakeDirs(BASUtilityString::Utf8ToUtf16(folder));
    bool ok = false;
    OpenStore(kStandardName, folder + "UserDefaults.json", &ok);
    return made;
}

bool BASUserDefaults::InitUserDefaults(const char* name, const std::u16string& path) {
    bool ok = false;
    OpenStore(name, BASUtilityString::Utf16ToUtf8(path), &ok);
    return ok;
}

BASUserDefaults* BASUserDefaults::StandardUserDefaults() { return GetUserDefaults(kStandardName); }

BASUserDefaults* BASUserDefaults::GetUserDefaults(const char* name) {
    std::lock_guard<std::mutex> lock(StoresMutex());
    auto it = Stores().find(name ? name : "");
    return it == Stores().end() ? nullptr : it->second.get();
}

bool BASUserDefaults::IsOk() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ok_;
}

BASUserDefaults::LoadState BASUserDefaults::State() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

std::string BASUserDefaults::LoadError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return loadError_;
}

const rapidjson::Value* BASUserDefaults::Find(const char* key) const {
    if (!key) return nullptr;
    auto it = doc_.FindMember(key);
    return it == doc_.MemberEnd() ? nullptr : &it->value;
}

bool BASUserDefaults::HasMember(const char* key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return Find(key) != nullptr;
}

const char* BASUserDefaults::GetString(const char* key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const rapidjson::Value* v = Find(key);
    return v && v->IsString() ? v->GetString() : nullptr;
}

int64_t BASUserDefaults::GetInt(const char* key, int64_t fallback) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const rapidjson::Value* v = Find(key);
    if (!v) return fallback;
    if (v->IsInt64()) return v->GetInt64();
    if (v->IsUint64()) return static_cast<int64_t>(v->GetUint64());
    if (v->IsDouble()) return static_cast<int64_t>(v->GetDouble());
    return fallback;
}

double BASUserDefaults::GetDouble(const char* key, double fallback) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const rapidjson::Value* v = Find(key);
    return v && v->IsNumber() ? v->GetDouble() : fallback;
}

uint32_t BASUserDefaults::GetRGB(const char* key, uint32_t fallback) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const rapidjson::Value* v = Find(key);
    if (!v) return fallback;
    if (v->IsUint()) return v->GetUint() & 0xFFFFFFu;
    if (v->IsInt()) return static_cast<uint32_t>(v->GetInt()) & 0xFFFFFFu;
    if (v->IsString()) {
        const char* s = v->GetString();
        if (*s == '#') ++s;
        if (strlen(s) != 6) return fallback;
        uint32_t rgb = 0;
        for (int i = 0; i < 6; ++i) {
            const char c = s[i];
            uint32_t d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return fallback;
            rgb = (rgb << 4) | d;
        }
        return rgb;
    }
    return fallback;
}

const rapidjson::Value* BASUserDefaults::GetValueObject(const char* key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return Find(key);
}

void BASUserDefaults::SetString(const char* key, const char* value) {
    if (!key) return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto& a = doc_.GetAllocator();
    rapidjson::Value v(value ? value : "", a);
    auto it = doc_.FindMember(key);
    if (it != doc_.MemberEnd()) {
        it->value = v;
    } else {
        doc_.AddMember(rapidjson::Value(key, a), v, a);
    }
}

void BASUserDefaults::SetInt(const char* key, int64_t value) {
    if (!key) return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto& a = doc_.GetAllocator();
    auto it = doc_.FindMember(key);
    if (it != doc_.MemberEnd()) {
        it->value.SetInt64(value);
    } else {
        doc_.AddMember(rapidjson::Value(key, a), rapidjson::Value(static_cast<int64_t>(value)), a);
    }
}

bool BASUserDefaults::WriteAll() {
    // One save at a time, so a damaged file is moved aside exactly once.
    std::lock_guard<std::mutex> saving(saveMutex_);
    rapidjson::StringBuffer buffer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ == LoadState::Unreadable) {
            LOG(ERROR) << "settings file " << path_ << " " << loadError_ << "; not saved over it";
            return false;
        }
        if (state_ == LoadState::Corrupt && !KeepCorruptFile()) return false;
        if (state_ == LoadState::Corrupt) state_ = LoadState::Missing;  // kept aside: the name is free now
        rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
        doc_.Accept(writer);
    }
    std::string text(buffer.GetString(), buffer.GetSize());
    text.push_back('\n');
    if (!BASUtilityFile::WriteFileAtomically(path_, text)) {
        LOG(ERROR) << "cannot save settings " << path_ << ": " << strerror(errno);
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ok_ = true;
    state_ = LoadState::Loaded;
    loadError_.clear();
    return true;
}
