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
    // Settings, catalogues, descriptors and launcher files are small; a data
    // file beyond this is refused rather than read into memory.
    static constexpr int64_t kMaxDataFileBytes = 16 * 1024 * 1024;

    // How a whole-file read ended.
    enum class ReadStatus { Ok, Missing, NotRegularFile, TooLarge, Unreadable };
    // The whole file, read only when it is a regular file of at most
    // `maxBytes`: a FIFO, a device or a folder is never read (nor opened for
    // reading, so nothing blocks), and a file that grows past the cap while
    // being read is refused. With `followLinks` false a link is refused too.
    // `error` (optional) says why on failure.
    static ReadStatus ReadRegularFile(const std::string& path, std::string& out, int64_t maxBytes,
                                      std::string* error = nullptr, bool followLinks = true);
    // ReadRegularFile with the data-file cap; false when it cannot be read.
    static bool ReadWholeFile(const std::string& path, std::string& out);
    // Writes beside the target, syncs, then renames over it: readers see the
    // old file or the new one, never half of either. Parent folders are made.
    static bool WriteFileAtomically(const std::string& path, const std::string& bytes);
    // `path` made absolute for another working folder: its folder part
    // resolved as the kernel resolves it (links first, then "..", so
    // "link/../IMG.heic" names the photo an open() of it reaches) and its last
    // part kept as given, so a photo that is itself a link keeps its own name
    // and place. A last part of "." or ".." is resolved too; trailing "/"
    // are dropped. Unchanged when there is no working folder to start from.
    static std::string ResolvePath(const std::string& path);
    // "512 B", "1.50 KB", "3.25 MB", "1.02 GB" (powers of 1024).
    static std::u16string ZLGetFormatSizeFromBytes(int64_t bytes);
};

#endif  // BEDROCK_BAS_UTILITY_FILE_H
