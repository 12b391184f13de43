#include "plugin_util.h"

#include <bedrock/bas_json.h>
#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>

#include <dirent.h>
#include <dlfcn.h>
#include <glog/logging.h>
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <string_view>

namespace plugin_util {
namespace {

struct Bus {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<ModuleRecord>> registry;
    // Transparent comparison: a post looks its name up without copying it.
    std::map<std::string, std::vector<ModuleContext*>, std::less<>> commands;
    // Blocks handed to modules keep their address for the life of the process.
    std::deque<ModuleContext> contexts;
    std::u16string suiteFile;
};

Bus& bus() {
    // Never destroyed: modules stay loaded and may post until the very end.
    static Bus* instance = new Bus();
    return *instance;
}

std::string Utf8(const std::u16string& s) { return BASUtilityString::Utf16ToUtf8(s); }

bool IsDirectory(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Directory entries other than "." and "..", sorted by name so that the
// order of candidates does not depend on the file system. `error` (optional)
// says why the folder could not be read.
std::vector<std::string> ListSubfolders(const std::string& folder, std::string* error = nullptr) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) {
        if (error) *error = "cannot read the folder " + folder + ": " + strerror(errno);
        return names;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (IsDirectory(folder + name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The descriptor's fields, checked for presence and type before anything is
// loaded, so a damaged "plugin.load" is refused instead of misread.
struct Descriptor {
    std::string path, id, version, createCommand;
    int32_t type = 0, width = 0, height = 0;
    std::vector<std::string> receive, send, requires, optionals;
};

bool ReadStringArray(const rapidjson::Value& object, const char* key, bool required,
                     std::vector<std::string>& out, std::string& error) {
    auto it = object.FindMember(key);
    if (it == object.MemberEnd()) {
        if (required) error = std::string("missing \"") + key + "\"";
        return !required;
    }
    if (!it->value.IsArray()) {
        error = std::string("\"") + key + "\" is not an array";
        return false;
    }
    for (const auto& item : it->value.GetArray()) {
        if (!item.IsString()) {
            error = std::string("\"") + key + "\" holds a value that is not a string";
            return false;
        }
        out.emplace_back(item.GetString(), item.GetStringLength());
    }
    return true;
}

bool ReadString(const rapidjson::Value& object, const char* key, bool required, std::string& out,
                std::string& error) {
    auto it = object.FindMember(key);
    if (it == object.MemberEnd()) {
        if (required) error = std::string("missing \"") + key + "\"";
        return !required;
    }
    if (!it->value.IsString()) {
        error = std::string("\"") + key + "\" is not a string";
        return false;
    }
    out.assign(it->value.GetString(), it->value.GetStringLength());
    return true;
}

bool ReadInt(const rapidjson::Value& object, const char* key, bool required, int32_t& out, std::string& error) {
    auto it = object.FindMember(key);
    if (it == object.MemberEnd()) {
        if (required) error = std::string("missing \"") + key + "\"";
        return !required;
    }
    if (!it->value.IsInt()) {
        error = std::string("\"") + key + "\" is not an integer";
        return false;
    }
    out = it->value.GetInt();
    return true;
}

bool ParseDescriptor(const std::string& file, Descriptor& d, std::string& failure) {
    std::string text, error;
    if (BASUtilityFile::ReadRegularFile(file, text, BASUtilityFile::kMaxDataFileBytes, &error) !=
        BASUtilityFile::ReadStatus::Ok) {
        // Cannot be read: the next candidate, without an error in the log.
        failure = file + ": " + error;
        return false;
    }
    rapidjson::Document doc;
    if (!ParseJsonText(doc, text, &error)) {
        failure = file + ": " + error;
        LOG(ERROR) << failure;
        return false;
    }
    error.clear();
    const bool ok = doc.IsObject() && ReadString(doc, "path", true, d.path, error) &&
                    ReadString(doc, "id", true, d.id, error) && ReadInt(doc, "type", true, d.type, error) &&
                    ReadString(doc, "version", true, d.version, error) &&
                    ReadStringArray(doc, "command-recv", true, d.receive, error) &&
                    ReadStringArray(doc, "command-send", true, d.send, error) &&
                    ReadStringArray(doc, "require", false, d.requires, error) &&
                    ReadStringArray(doc, "optional", false, d.optionals, error) &&
                    ReadInt(doc, "width", false, d.width, error) && ReadInt(doc, "height", false, d.height, error) &&
                    ReadString(doc, "command-create", false, d.createCommand, error);
    if (!ok) {
        failure = file + ": " + (doc.IsObject() ? error : std::string("not a JSON object"));
        LOG(ERROR) << failure;
        return false;
    }
    if (d.id.empty() || d.path.empty()) {
        failure = file + ": empty \"id\" or \"path\"";
        LOG(ERROR) << failure;
        return false;
    }
    return true;
}

// A module folder named with "." or ".." components could lead anywhere.
bool HasDotComponent(const std::string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "." || part == "..") return true;
        start = end + 1;
    }
    return false;
}

std::string RealPath(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : std::string();
}

bool IsInside(const std::string& path, const std::string& folder) {
    return !folder.empty() && path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

// The real path of the descriptor's library when it is a regular file inside
// the version folder (itself inside the module folder), however its path is
// spelt; empty, with `failure` set, otherwise. `refused` tells a library
// that leads elsewhere from one that is merely missing.
std::string ConfinedLibrary(const std::string& moduleFolder, const std::string& versionFolder,
                            const std::string& descriptorFile, const std::string& path, std::string& failure,
                            bool& refused) {
    refused = true;
    const std::string realModule = RealPath(moduleFolder);
    const std::string realVersion = RealPath(versionFolder);
    if (realModule.empty() || !IsInside(realVersion, realModule)) {
        failure = descriptorFile + ": the version folder lies outside the module folder " + moduleFolder;
        return {};
    }
    if (!path.empty() && path[0] == '/') {
        failure = descriptorFile + ": \"path\" " + path + " is not inside the version folder";
        return {};
    }
    const std::string library = RealPath(versionFolder + path);
    if (library.empty()) {
        failure = descriptorFile + ": the library " + versionFolder + path + " is missing: " + strerror(errno);
        refused = false;
        return {};
    }
    if (!IsInside(library, realVersion)) {
        failure = descriptorFile + ": \"path\" " + path + " leads outside the version folder (to " + library + ")";
        return {};
    }
    if (!IsFile(library)) {
        failure = descriptorFile + ": the library " + library + " is not a regular file";
        return {};
    }
    return library;
}

}  // namespace

std::vector<std::string> OrderVersionCandidates(const std::vector<std::string>& found) {
    std::deque<std::string> list;
    std::string highest;
    for (const std::string& candidate : found) {
        if (list.empty()) {
            highest = candidate;
            list.push_back(candidate);
        } else if (BASUtilityString::CompareVersion(candidate, highest) >= 0) {
            highest = candidate;
            list.push_front(candidate);
        } else {
            list.push_back(candidate);
        }
    }
    return {list.begin(), list.end()};
}

void* HostInstance() {
    static void* self = dlopen(nullptr, RTLD_NOW);
    return self;
}

const ModuleRecord* LoadModule(const std::u16string& moduleFolderWide) { return LoadModule(moduleFolderWide, nullptr); }

const ModuleRecord* LoadModule(const std::u16string& moduleFolderWide, std::string* failure) {
    // Every reason a candidate was passed over, for the caller.
    std::vector<std::string> reasons;
    auto fail = [&](const std::string& summary) -> const ModuleRecord* {
        if (failure) {
            *failure = summary;
            for (const std::string& reason : reasons) *failure += "; " + reason;
        }
        return nullptr;
    };
    std::string moduleFolder = Utf8(moduleFolderWide);
    if (moduleFolder.empty() || HasDotComponent(moduleFolder)) {
        LOG(ERROR) << "module folder " << moduleFolder << " refused: it must be named without \".\" or \"..\"";
        return fail("the module folder " + moduleFolder + " is named with \".\" or \"..\"");
    }
    if (moduleFolder.back() != '/') moduleFolder.push_back('/');
    std::string listError;
    std::vector<std::string> found;
    for (const std::string& name : ListSubfolders(moduleFolder, &listError)) {
        if (IsFile(moduleFolder + name + "/plugin.load")) found.push_back(name);
    }
    if (!listError.empty()) return fail(listError);
    if (found.empty()) return fail("no version folder with a plugin.load in " + moduleFolder);

    Descriptor d;
    std::string libraryPath;
    void* handle = nullptr;
    RegisterModuleFn registerModule = nullptr;
    for (const std::string& candidate : OrderVersionCandidates(found)) {
        const std::string versionFolder = moduleFolder + candidate + "/";
        const std::string descriptorFile = versionFolder + "plugin.load";
        Descriptor attempt;
        std::string reason;
        if (!ParseDescriptor(descriptorFile, attempt, reason)) {
            reasons.push_back(reason);
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(bus().mutex);
            if (bus().registry.count(attempt.id)) {
                reasons.push_back(descriptorFile + ": module " + attempt.id + " is loaded already");
                continue;
            }
        }
        // A library must be the version folder's own: a descriptor is data,
        // and "../../x.so" would run any library on the machine.
        bool refused = false;
        const std::string library =
            ConfinedLibrary(moduleFolder, versionFolder, descriptorFile, attempt.path, reason, refused);
        if (library.empty()) {
            if (refused) LOG(ERROR) << "refused: " << reason;
            reasons.push_back(reason);
            continue;
        }
        // The module's own folder is on its $ORIGIN run path, so the
        // libraries beside it resolve without changing any search path here.
        void* h = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            reasons.push_back(std::string("cannot load ") + library + ": " + dlerror());
            LOG(WARNING) << reasons.back();
            continue;
        }
        auto fn = reinterpret_cast<RegisterModuleFn>(dlsym(h, "RegisterModule"));
        if (!fn) {
            // Left loaded: its constructors have run, and unloading code that
            // may have registered anything is never safe.
            reasons.push_back(library + " has no RegisterModule");
            LOG(WARNING) << reasons.back();
            continue;
        }
        d = std::move(attempt);
        libraryPath = versionFolder + d.path;
        handle = h;
        registerModule = fn;
        break;
    }
    if (!registerModule) return fail("no usable version in " + moduleFolder);

    auto record = std::make_unique<ModuleRecord>();
    record->type = d.type;
    record->version = d.version;
    record->id = d.id;
    record->libraryPath = libraryPath;
    record->instance = handle;

    ModuleContext* context;
    {
        std::lock_guard<std::mutex> lock(bus().mutex);
        bus().contexts.push_back(ModuleContext{&PostCommand, nullptr, handle, 0});
        context = &bus().contexts.back();
    }
    // Without the lock: a module may post while it registers.
    registerModule(context);

    std::lock_guard<std::mutex> lock(bus().mutex);
    if (bus().registry.count(d.id)) {
        // Another thread registered the same id meanwhile; this copy stays
        // loaded but receives nothing.
        LOG(WARNING) << "module " << d.id << " was registered twice";
        return fail("module " + d.id + " was registered twice");
    }
    for (const std::string& command : d.receive) {
        bus().commands[command].push_back(context);
        record->receiveCommands.push_back(command);
    }
    record->sendCommands = d.send;
    record->requires = d.requires;
    record->optionals = d.optionals;
    record->width = d.width;
    record->height = d.height;
    record->createCommand = d.createCommand;
    const ModuleRecord* result = record.get();
    bus().registry[d.id] = std::move(record);
    return result;
}

const ModuleRecord* RegisterHostModule(const char* id) {
    auto record = std::make_unique<ModuleRecord>();
    record->id = id ? id : "";
    record->type = 2;
    record->instance = HostInstance();
    std::lock_guard<std::mutex> lock(bus().mutex);
    auto& slot = bus().registry[record->id];
    if (!slot) slot = std::move(record);
    return slot.get();
}

const ModuleRecord* FindModule(const char* id) {
    if (!id) return nullptr;
    std::lock_guard<std::mutex> lock(bus().mutex);
    auto it = bus().registry.find(id);
    return it == bus().registry.end() ? nullptr : it->second.get();
}

void SubscribeHandler(const char* command, ModuleReceiveFn handler) {
    if (!command || !handler) return;
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().contexts.push_back(ModuleContext{nullptr, handler, HostInstance(), 0});
    bus().commands[command].push_back(&bus().contexts.back());
}

void PostCommand(ModuleCommand* command) {
    if (!command || !command->sender || !command->command) return;
    // Map nodes never move, so the list found here stays valid; its elements
    // may be reallocated by a subscription, so each is read under the lock.
    const std::vector<ModuleContext*>* list;
    size_t count;
    {
        std::lock_guard<std::mutex> lock(bus().mutex);
        auto it = bus().commands.find(std::string_view(command->command));
        if (it == bus().commands.end()) return;
        list = &it->second;
        count = list->size();
    }
    // Later subscriptions (past `count`) do not get this record; receivers
    // run without the lock.
    void* const sender = command->sender;
    void* const target = command->target;
    for (size_t i = 0; i < count; ++i) {
        ModuleContext* entry;
        {
            std::lock_guard<std::mutex> lock(bus().mutex);
            entry = (*list)[i];
        }
        if (!entry->receive) continue;
        if (target) {
            if (entry->instance == target) {
                entry->receive(command);
                return;
            }
        } else if (entry->instance != sender) {
            entry->receive(command);
        }
    }
}

void PostFromHost(ModuleCommand* command) {
    if (!command) return;
    command->sender = HostInstance();
    PostCommand(command);
}

void SetSuiteFile(const std::u16string& suiteFile) {
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().suiteFile = suiteFile;
}

std::u16string FindNewestAddinProgram(const std::u16string& nameWide, std::vector<std::u16string>& others) {
    std::u16string suite;
    {
        std::lock_guard<std::mutex> lock(bus().mutex);
        suite = bus().suiteFile;
    }
    const size_t slash = suite.rfind(u'/');
    if (slash == std::u16string::npos) return {};
    const std::string base = Utf8(suite.substr(0, slash));
    const std::string name = Utf8(nameWide);
    const std::string root = base + "/Addins/" + name + "/";
    static const std::regex versionPattern("[0-9]+[.]{1}[0-9]+[.]{1}[0-9]+");

    std::string best, bestVersion;
    for (const std::string& folder : ListSubfolders(root)) {
        std::smatch match;
        if (!std::regex_search(folder, match, versionPattern) || match.str(0) != folder) continue;
        if (!IsFile(root + folder + "/Bin/" + name)) continue;
        const std::string path = root + folder;
        if (best.empty()) {
            best = path;
            bestVersion = folder;
        } else if (BASUtilityString::CompareVersion(bestVersion, folder) == -1) {
            others.push_back(BASUtilityString::Utf8ToUtf16(best));
            best = path;
            bestVersion = folder;
        } else {
            others.push_back(BASUtilityString::Utf8ToUtf16(path));
        }
    }
    return BASUtilityString::Utf8ToUtf16(best);
}

}  // namespace plugin_util
