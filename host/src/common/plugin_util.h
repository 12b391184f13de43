// The module loader and the command bus: finds a module's newest installed
// version, loads and registers it, keeps the subscriptions, delivers commands.
#ifndef PIXBRIDGE_HOST_PLUGIN_UTIL_H
#define PIXBRIDGE_HOST_PLUGIN_UTIL_H

#include <pixbridge/module_contract.h>

#include <cstdint>
#include <string>
#include <vector>

namespace plugin_util {

// The host's record of one loaded module; lives until the process ends.
struct ModuleRecord {
    int32_t type = 0;
    std::string libraryPath;
    std::string id;
    std::string version;
    int32_t width = 0;
    int32_t height = 0;
    std::string createCommand;
    std::vector<std::string> receiveCommands;
    std::vector<std::string> sendCommands;
    std::vector<std::string> requires;
    std::vector<std::string> optionals;
    void* instance = nullptr;
};

// Loads the newest usable version under `moduleFolder` (ending in "/"). A
// folder named with "." or ".." components is refused, and so is every
// descriptor whose "path" does not resolve to a regular file inside its own
// version folder (logged with the descriptor's name). Null when nothing
// loaded; then `failure` (optional) says why, naming each candidate's reason.
const ModuleRecord* LoadModule(const std::u16string& moduleFolder, std::string* failure);
const ModuleRecord* LoadModule(const std::u16string& moduleFolder);
const ModuleRecord* RegisterHostModule(const char* id);
const ModuleRecord* FindModule(const char* id);

void SubscribeHandler(const char* command, ModuleReceiveFn handler);
void PostCommand(ModuleCommand* command);
void PostFromHost(ModuleCommand* command);

// The host program's own instance on the bus.
void* HostInstance();

// The order in which version folders are tried: the first highest version in
// front, every other folder in the order it was found.
std::vector<std::string> OrderVersionCandidates(const std::vector<std::string>& found);

// The suite file whose folder holds "Addins/" for FindNewestAddinProgram.
void SetSuiteFile(const std::u16string& suiteFile);
// The newest "<n>.<n>.<n>" folder under <suite folder>/Addins/<name>/ that
// holds "Bin/<name>"; the other qualifying folders are appended to `others`.
std::u16string FindNewestAddinProgram(const std::u16string& name, std::vector<std::u16string>& others);

}  // namespace plugin_util

#endif  // PIXBRIDGE_HOST_PLUGIN_UTIL_H
