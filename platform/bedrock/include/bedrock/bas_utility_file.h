// File queries and the free-name rule for output files.
#ifndef BEDROCK_BAS_UTILITY_FILE_H
#define BEDROCK_BAS_UTILITY_FILE_H

#include "bedrock_export.h"

#include <cstdint>
#include <string>

class BEDROCK_EXPORT BASUtilityFile {
public:
    static bool IsFileExist(const std::u16string& path);
    // Size in bytes; 0 when the file cannot be read.
    static int64_t GetFileSize(const std::u16string& path);
    // The wanted path when nothing exists there, else "stem (1).ext",
    // "stem (2).ext" ... the first free one. Released with
    // BASUtilityString::Free.
    static char16_t* GetFilePathNewName(const char16_t* wanted);
    // The whole file; false when it cannot be read.
    static bool ReadWholeFile(const std::string& path, std::string& out);
    // Writes beside the target, syncs, then renames over it: readers see the
    // old file or the new one, never half of either. Parent folders are made.
    static bool WriteFileAtomically(const std::string& path, const std::string& bytes);
    // "512 B", "1.50 KB", "3.25 MB", "1.02 GB" (powers of 1024).
    static std::u16string ZLGetFormatSizeFromBytes(int64_t bytes);
};

#endif  // BEDROCK_BAS_UTILITY_FILE_H
