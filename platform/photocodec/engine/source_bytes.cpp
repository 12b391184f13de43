#include "source_bytes.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace photocodec {

namespace {

// Anything this large is not a photo.
constexpr uint64_t kMaxSourceBytes = 1ull << 31;

}  // namespace

std::shared_ptr<const SourceBytes> SourceBytes::map(int fd, std::string& error)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "the source is not a regular file";
        return nullptr;
    }
    if (info.st_size <= 0) {
        error = "the file is empty";
        return nullptr;
    }
    if (static_cast<uint64_t>(info.st_size) > kMaxSourceBytes) {
        error = "the file is too large to be a photo";
        return nullptr;
    }
    void* mapping = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapping == MAP_FAILED) {
        error = std::string("cannot read the file: ") + std::strerror(errno);
        return nullptr;
    }
    std::shared_ptr<SourceBytes> bytes(new SourceBytes());
    bytes->mapping_ = mapping;
    bytes->data_ = static_cast<const uint8_t*>(mapping);
    bytes->size_ = static_cast<size_t>(info.st_size);
    return bytes;
}

std::shared_ptr<const SourceBytes> SourceBytes::read(int fd, size_t maxBytes, std::string& error)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        error = "not a file with something in it";
        return nullptr;
    }
    if (static_cast<uint64_t>(info.st_size) > maxBytes) {
        error = "the file is too large";
        return nullptr;
    }
    std::vector<uint8_t> data(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pread(fd, data.data() + done, data.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n == 0 ? "the file got shorter while it was read" : std::string("cannot read the file: ") +
                                                                             std::strerror(errno);
            return nullptr;
        }
        done += static_cast<size_t>(n);
    }
    return copy(std::move(data));
}

std::shared_ptr<const SourceBytes> SourceBytes::copy(std::vector<uint8_t> data)
{
    std::shared_ptr<SourceBytes> bytes(new SourceBytes());
    bytes->owned_ = std::move(data);
    bytes->data_ = bytes->owned_.data();
    bytes->size_ = bytes->owned_.size();
    return bytes;
}

SourceBytes::~SourceBytes()
{
    if (mapping_ != nullptr) {
        ::munmap(mapping_, size_);
    }
}

}  // namespace photocodec
