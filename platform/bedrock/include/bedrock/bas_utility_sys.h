// System facts: clock, user folders.
#ifndef BEDROCK_BAS_UTILITY_SYS_H
#define BEDROCK_BAS_UTILITY_SYS_H

#include "bedrock_export.h"

#include <string>

class BEDROCK_EXPORT BASUtilitySys {
public:
    // Local time formatted with strftime.
    static std::string GetNowDateTime(const char* format);
    // $XDG_CONFIG_HOME, else ~/.config, with a trailing "/".
    static std::u16string GetAppDataDir();
    // $TMPDIR, else /tmp, with a trailing "/".
    static std::u16string GetTempDir();
    // Creates the folder and its parents; true when it exists afterwards.
    static bool MakeDirs(const std::u16string& folder);
};

#endif  // BEDROCK_BAS_UTILITY_SYS_H
