// The bytes of the file being converted, read-only: mapped from its
// descriptor, so a thumbnail touches only the pages it needs.
#ifndef PHOTOCODEC_SOURCE_BYTES_H
#define PHOTOCODEC_SOURCE_BYTES_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace photocodec {

class SourceBytes {
public:
    // Null, with `error` set, for anything but a non-empty regular file.
    static std::shared_ptr<const SourceBytes> map(int fd, std::string& error);
    // The same, read into memory: for small files read whole, where a
    // mapping would cost more to set up and take down than the reading.
    // Null for a file larger than `maxBytes`.
    static std::shared_ptr<const SourceBytes> read(int fd, size_t maxBytes, std::string& error);
    static std::shared_ptr<const SourceBytes> copy(std::vector<uint8_t> bytes);

    ~SourceBytes();
    SourceBytes(const SourceBytes&) = delete;
    SourceBytes& operator=(const SourceBytes&) = delete;

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    SourceBytes() = default;

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr;
    std::vector<uint8_t> owned_;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_SOURCE_BYTES_H
