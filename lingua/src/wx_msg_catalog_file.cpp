#include "wx_msg_catalog_file.h"

#include <bedrock/bas_utility_string.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t kMagic = 0x950412de;
// The fixed header is 28 bytes (magic, revision, count, two table offsets,
// hash table size and offset); a file must hold more than that.
constexpr uint32_t kHeaderBytes = 28;
constexpr uint32_t kEntryBytes = 8;
// The most that Linux transfers in one read call; a larger file could never
// be read at once, so it is refused before its bytes are allocated.
constexpr uint64_t kMaxFileBytes = 0x7ffff000;

// Closes a POSIX descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) close(m_fd);
    }
    int Get() const { return m_fd; }

private:
    int m_fd = -1;
};

// True when [offset, offset + length) lies inside a file of `fileLength`
// bytes. Computed in 64 bits so that no 32-bit sum can wrap around.
bool FitsInFile(uint64_t offset, uint64_t length, uint32_t fileLength) {
    return offset + length <= fileLength;
}

}  // namespace

bool wxMsgCatalogFile::Load(const std::u16string& path) {
    const std::string utf8Path = BASUtilityString::Utf16ToUtf8(path);
    // Non-blocking, so that a named pipe in place of the file cannot stall
    // the open; only regular files are read.
    FileDescriptor file(open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) return false;

    struct stat info {};
    if (fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (info.st_size <= 0 || static_cast<uint64_t>(info.st_size) > kMaxFileBytes) return false;
    const auto length = static_cast<uint32_t>(info.st_size);

    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[length]);
    if (!bytes) return false;
    ssize_t got = -1;
    do {
        got = read(file.Get(), bytes.get(), length);
    } while (got < 0 && errno == EINTR);
    // One read of exactly the file's length; anything else (a file that
    // shrank or grew meanwhile, an I/O error) is not trusted.
    if (got < 0 || static_cast<uint64_t>(got) != length) return false;

    m_data = std::move(bytes);
    m_fileLength = length;
    return Validate();
}

bool wxMsgCatalogFile::LoadBytes(const uint8_t* bytes, size_t sizeBytes) {
    if (!bytes || sizeBytes == 0 || sizeBytes > kMaxFileBytes) return false;
    // An allocation of exactly the file's size, so that a stray read past the
    // end is caught by the sanitizers just as for a file.
    m_data.reset(new (std::nothrow) uint8_t[sizeBytes]);
    if (!m_data) return false;
    memcpy(m_data.get(), bytes, sizeBytes);
    m_fileLength = static_cast<uint32_t>(sizeBytes);
    return Validate();
}

bool wxMsgCatalogFile::Validate() {
    m_origTable = nullptr;
    m_transTable = nullptr;
    m_count = 0;
    if (m_fileLength <= kHeaderBytes) return false;

    const uint8_t* base = m_data.get();
    // A catalogue written in the other byte order reads 0xde120495 here and
    // is refused rather than byte-swapped.
    if (ReadU32(base) != kMagic) return false;

    const uint32_t count = ReadU32(base + 8);
    const uint32_t origOffset = ReadU32(base + 12);
    const uint32_t transOffset = ReadU32(base + 16);
    const uint64_t tableBytes = static_cast<uint64_t>(count) * kEntryBytes;
    // Both tables must lie wholly inside the file; entries are never read
    // from beyond it.
    if (!FitsInFile(origOffset, tableBytes, m_fileLength) || !FitsInFile(transOffset, tableBytes, m_fileLength)) {
        return false;
    }

    m_origTable = base + origOffset;
    m_transTable = base + transOffset;
    m_count = count;
    return true;
}

uint32_t wxMsgCatalogFile::ReadU32(const uint8_t* at) const {
    // Byte by byte: table entries need not be aligned, and the format is
    // little-endian whatever the machine.
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

std::string_view wxMsgCatalogFile::StringAt(const uint8_t* table, uint32_t index) const {
    if (!table || index >= m_count) return {};
    const uint8_t* entry = table + static_cast<size_t>(index) * kEntryBytes;
    const uint32_t length = ReadU32(entry);
    const uint32_t offset = ReadU32(entry + 4);
    if (!FitsInFile(offset, length, m_fileLength)) return {};

    // The text runs to its first zero byte (so a plural entry yields its
    // singular form), but never past the end of the file.
    const auto* start = reinterpret_cast<const char*>(m_data.get() + offset);
    const size_t available = m_fileLength - offset;
    const void* zero = memchr(start, 0, available);
    const size_t size = zero ? static_cast<size_t>(static_cast<const char*>(zero) - start) : available;
    return std::string_view(start, size);
}
