// Where a download goes: a new private file in the user's cache folder
// ($XDG_CACHE_HOME, else ~/.cache, then "quillmarsh-pix-bridge/updates"),
// renamed to its final name only when Commit is called. The folder must be
// the user's own and no link; it is made private (0700). A file that is not
// committed is removed when the object goes.
#ifndef REFRESH_CACHE_FILE_H
#define REFRESH_CACHE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

class CacheFile {
public:
    CacheFile() = default;
    ~CacheFile();
    CacheFile(const CacheFile&) = delete;
    CacheFile& operator=(const CacheFile&) = delete;

    // Opens a new temporary file for `finalName`. Returns an LU_* code.
    int32_t Open(const std::string& finalName);
    bool Write(const char* data, size_t size);
    // Flushes, closes and renames into place. Returns an LU_* code.
    int32_t Commit();
    // The committed file's path.
    const std::string& Path() const { return path_; }

    // The folder downloads go to (made 0700 when missing); empty on failure.
    static std::string Folder();
    // A name safe to create: letters, digits and "._+-", no leading dot.
    static std::string SafeName(const std::string& name);

private:
    void Discard();

    int dirFd_ = -1;
    int fd_ = -1;
    std::string tempName_;
    std::string finalName_;
    std::string folder_;
    std::string path_;
};

#endif  // REFRESH_CACHE_FILE_H
