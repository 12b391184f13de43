// Where the program lives and how it reaches the desktop.
#ifndef BEDROCK_BAS_UTILITY_APP_H
#define BEDROCK_BAS_UTILITY_APP_H

#include "bedrock_export.h"

#include <cstdint>
#include <string>

class BEDROCK_EXPORT BASUtilityApp {
public:
    // The folder of the running program, with a trailing "/".
    static std::u16string GetProductInstallDir();
    // False when the install folder's path is not valid UTF-8: the texts above
    // then name a folder that does not exist, and nothing in it can be found.
    static bool IsProductInstallDirValidUtf8();
    static std::u16string GetProductPluginsDir();
    // The folder that holds the program's own binaries (the install folder).
    static std::u16string GetProductBinDir();
    // The program's own module handle (dlopen of null).
    static void* GetAppModule();
    // A new id, unique in the process and unlikely to repeat across runs.
    static uint64_t GetTaskId();
    // Hands a URL or folder to the desktop (xdg-open), without waiting.
    static bool OpenUrl(const char* url);
    static bool OpenFolder(const std::u16string& folder);
};

#endif  // BEDROCK_BAS_UTILITY_APP_H
