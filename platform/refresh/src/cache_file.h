// Where a download goes: an unnamed file in the user's download folder
// ($XDG_CACHE_HOME, else ~/.cache, then "quillmarsh-pix-bridge/updates"),
// given its name only when Commit is called, so that a download that is
// cancelled, fails or is killed leaves nothing behind.
//
// The package is later opened by name by the installation, as root, so the
// whole way to it must be the user's own: the cache root may be a link (to a
// second disk, say) but must lead to a folder of the user's that nobody else
// can write to; the folders below it are opened without following links and
// must be the user's, and are closed to others (0700) where they are not yet.
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

    // Opens a new temporary file for `finalName` in the checked folder.
    // Returns an LU_* code (LU_UNSAFE_FOLDER when the folder fails its check).
    int32_t Open(const std::string& finalName);
    bool Write(const char* data, size_t size);
    // Flushes the file and gives it its final name, replacing an older file
    // of that name. Returns an LU_* code.
    int32_t Commit();
    // The committed file's path.
    const std::string& Path() const { return path_; }

    // Makes and checks the download folder. `path` is the folder on LU_OK,
    // the folder that failed on LU_UNSAFE_FOLDER.
    static int32_t CheckFolder(std::string& path);
    // A name safe to create: letters, digits and "._+-", no leading dot.
    static std::string SafeName(const std::string& name);

private:
    void Discard();

    int dirFd_ = -1;
    int fd_ = -1;
    bool unnamed_ = false;  // O_TMPFILE: the file has no name until Commit
    std::string tempName_;  // the named temporary where O_TMPFILE is missing
    std::string finalName_;
    std::string folder_;
    std::string path_;
};

#endif  // REFRESH_CACHE_FILE_H
