#include "thumbnail_cache.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

#include "codec_log.h"
#include "file_uri.h"
#include "md5.h"

namespace photocodec {

namespace {

constexpr const char* kFailureFolder = "fail/quillmarsh-pix-bridge-" PIXBRIDGE_VERSION;

std::string cacheRoot()
{
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/') {
        return cache;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return std::string(home) + "/.cache";
    }
    return {};
}

// One step below `parent`: a real folder (no link), the user's own and
// private. One that others could enter is made private; a missing one is
// made when `create`.
UniqueFd openPrivateFolder(int parent, const std::string& name, bool create)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    UniqueFd fd(::openat(parent, name.c_str(), flags));
    if (!fd && errno == ENOENT && create) {
        if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
            return UniqueFd();
        }
        fd.reset(::openat(parent, name.c_str(), flags));
    }
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || info.st_uid != ::geteuid() ||
        ((info.st_mode & 077) != 0 && ::fchmod(fd.get(), 0700) != 0)) {
        return UniqueFd();
    }
    return fd;
}

void appendChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data)
{
    const uint32_t length = static_cast<uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        png.push_back(static_cast<uint8_t>(length >> shift));
    }
    const size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, png.data() + typeAt, static_cast<uInt>(png.size() - typeAt)));
    for (int shift = 24; shift >= 0; shift -= 8) {
        png.push_back(static_cast<uint8_t>(crc >> shift));
    }
}

std::vector<uint8_t> textChunk(const std::string& key, const std::string& value)
{
    std::vector<uint8_t> data(key.begin(), key.end());
    data.push_back(0);
    data.insert(data.end(), value.begin(), value.end());
    return data;
}

// A failure entry is a PNG like any other, of one clear pixel, whose keys
// say which file, as it was then, the codec could not read.
std::vector<uint8_t> failureEntryPng(const ThumbnailCache::Photo& photo)
{
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    // 1 x 1, 8 bits, RGBA, deflate, no filter choice, no interlace.
    appendChunk(png, "IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0});
    appendChunk(png, "tEXt", textChunk("Thumb::URI", photo.uri));
    appendChunk(png, "tEXt", textChunk("Thumb::MTime", std::to_string(photo.modifiedSeconds)));
    appendChunk(png, "tEXt", textChunk("Thumb::Size", std::to_string(photo.fileBytes)));
    appendChunk(png, "tEXt", textChunk("Software", ThumbnailCache::software()));
    const uint8_t row[5] = {0, 0, 0, 0, 0};  // filter type, then the pixel
    std::vector<uint8_t> packed(compressBound(sizeof(row)));
    uLongf packedSize = packed.size();
    if (compress(packed.data(), &packedSize, row, sizeof(row)) != Z_OK) {
        return {};
    }
    packed.resize(packedSize);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", {});
    return png;
}

bool writeAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

NewCacheEntry::NewCacheEntry(int folder, std::string name, UniqueFd fd, std::string tempName)
    : folder_(folder), name_(std::move(name)), fd_(std::move(fd)), tempName_(std::move(tempName))
{
}

NewCacheEntry::~NewCacheEntry()
{
    if (!tempName_.empty()) {
        ::unlinkat(folder_, tempName_.c_str(), 0);
    }
}

bool NewCacheEntry::commit()
{
    // No fsync: an entry a crash cuts short reads as damaged and is made
    // again, and a thousand syncs would cost more than the thumbnails.
    fd_.reset();
    if (tempName_.empty() || ::renameat(folder_, tempName_.c_str(), folder_, name_.c_str()) != 0) {
        return false;
    }
    tempName_.clear();
    return true;
}

std::string ThumbnailCache::software()
{
    return "Quillmarsh Pix Bridge " PIXBRIDGE_VERSION;
}

bool ThumbnailCache::open()
{
    if (opened_) {
        return thumbnails_.valid();
    }
    opened_ = true;
    const std::string root = cacheRoot();
    if (root.empty()) {
        return false;
    }
    // The root itself may be a link (a cache moved to another disk); below
    // it nothing may be.
    UniqueFd rootFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!rootFd && errno == ENOENT && ::mkdir(root.c_str(), 0700) == 0) {
        rootFd.reset(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (!rootFd) {
        return false;
    }
    thumbnails_ = openPrivateFolder(rootFd.get(), "thumbnails", true);
    if (!thumbnails_) {
        logLine(LogLevel::Warning, "the thumbnail cache in " + root + " is not usable; thumbnails are made afresh");
        return false;
    }
    char real[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(thumbnails_.get());
    const ssize_t n = ::readlink(self.c_str(), real, sizeof(real) - 1);
    if (n <= 0) {
        thumbnails_.reset();
        return false;
    }
    thumbnailsRealPath_.assign(real, static_cast<size_t>(n));
    return true;
}

int ThumbnailCache::folder(const std::string& relative, bool create)
{
    for (Folder& f : folders_) {
        if (f.relative == relative) {
            // A folder found missing is looked for again only to be made.
            if (!f.fd && create) {
                f.fd = openBelow(relative, true);
            }
            return f.fd.get();
        }
    }
    folders_.push_back({relative, openBelow(relative, create)});
    return folders_.back().fd.get();
}

UniqueFd ThumbnailCache::openBelow(const std::string& relative, bool create) const
{
    UniqueFd current;
    int parent = thumbnails_.get();
    size_t at = 0;
    for (;;) {
        const size_t slash = relative.find('/', at);
        const std::string name = relative.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        UniqueFd next = openPrivateFolder(parent, name, create);
        if (!next || slash == std::string::npos) {
            return next;
        }
        current = std::move(next);
        parent = current.get();
        at = slash + 1;
    }
}

std::optional<ThumbnailCache::Photo> ThumbnailCache::locate(const std::string& path, const struct stat& info,
                                                           int32_t size)
{
    if (path.empty() || path[0] != '/' || !open()) {
        return std::nullopt;
    }
    // The cache's own files never get entries of their own: a file manager
    // showing the cache folder would otherwise feed it forever.
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real) == nullptr) {
        return std::nullopt;
    }
    const std::string realPath = real;
    if (realPath.compare(0, thumbnailsRealPath_.size(), thumbnailsRealPath_) == 0 &&
        (realPath.size() == thumbnailsRealPath_.size() || realPath[thumbnailsRealPath_.size()] == '/')) {
        return std::nullopt;
    }
    Photo photo;
    photo.uri = fileUri(path);
    const std::string md5 = md5Hex(photo.uri);
    if (md5.empty()) {
        return std::nullopt;
    }
    photo.entryName = md5 + ".png";
    photo.modifiedSeconds = static_cast<int64_t>(info.st_mtim.tv_sec);
    photo.fileBytes = static_cast<int64_t>(info.st_size);
    photo.sizeIndex = kSizes.size();
    for (size_t i = 0; i < kSizes.size(); ++i) {
        if (kSizes[i].pixels >= size) {
            photo.sizeIndex = i;
            break;
        }
    }
    return photo;
}

std::vector<ThumbnailCache::StoredEntry> ThumbnailCache::storedEntries(const Photo& photo)
{
    std::vector<StoredEntry> entries;
    for (size_t i = photo.sizeIndex; i < kSizes.size(); ++i) {
        const int dir = folder(kSizes[i].name, false);
        if (dir < 0) {
            continue;
        }
        // O_NONBLOCK: a FIFO under an entry's name must not hang the open.
        UniqueFd fd(::openat(dir, photo.entryName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
            info.st_size > kMaxEntryBytes) {
            continue;
        }
        entries.push_back({std::move(fd), kSizes[i].pixels});
    }
    return entries;
}

UniqueFd ThumbnailCache::failureEntry(const Photo& photo)
{
    const int dir = folder(kFailureFolder, false);
    if (dir < 0) {
        return UniqueFd();
    }
    UniqueFd fd(::openat(dir, photo.entryName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        info.st_size > kMaxEntryBytes) {
        return UniqueFd();
    }
    return fd;
}

namespace {

std::unique_ptr<NewCacheEntry> startEntry(int dir, const std::string& name)
{
    // One generator a thread: two decoders may be making entries at once.
    thread_local std::mt19937 numbers{std::random_device{}()};
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string temp = "." + name + "." + std::to_string(numbers() % 1000000000u) + ".part";
        UniqueFd fd(::openat(dir, temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd) {
            return std::make_unique<NewCacheEntry>(dir, name, std::move(fd), temp);
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<NewCacheEntry> ThumbnailCache::newEntry(const Photo& photo)
{
    if (photo.sizeIndex >= kSizes.size()) {
        return nullptr;
    }
    const int dir = folder(kSizes[photo.sizeIndex].name, true);
    return dir >= 0 ? startEntry(dir, photo.entryName) : nullptr;
}

void ThumbnailCache::recordFailure(const Photo& photo)
{
    const int dir = folder(kFailureFolder, true);
    std::unique_ptr<NewCacheEntry> entry = dir >= 0 ? startEntry(dir, photo.entryName) : nullptr;
    const std::vector<uint8_t> png = failureEntryPng(photo);
    if (entry && !png.empty() && writeAll(entry->fd(), png)) {
        entry->commit();
    }
}

}  // namespace photocodec
