// Builds GNU gettext MO catalogues in memory for the tests, in either byte
// order, and writes them into a fresh temporary folder.
#ifndef LINGUA_TESTS_MO_WRITER_H
#define LINGUA_TESTS_MO_WRITER_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lingua_test {

struct MoEntry {
    std::string original;     // may hold "\0" (plural) or "\x04" (context)
    std::string translation;
};

enum class ByteOrder { Little, Big };

// Header (28 bytes), the message-id table at 28, the translation table right
// after it, no hash table, then every text followed by a zero byte. Entries
// are written in the given order.
std::string BuildMo(const std::vector<MoEntry>& entries, ByteOrder order = ByteOrder::Little);

uint32_t GetU32(const std::string& bytes, size_t offset);
void PutU32(std::string& bytes, size_t offset, uint32_t value, ByteOrder order = ByteOrder::Little);

// Offsets inside a catalogue made by BuildMo.
constexpr size_t kCountOffset = 8;
constexpr size_t kOrigTableOffset = 12;
constexpr size_t kTransTableOffset = 16;
inline size_t OrigEntry(size_t index) { return 28 + 8 * index; }
inline size_t TransEntry(size_t index, size_t count) { return 28 + 8 * count + 8 * index; }

void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// A fresh folder under the temporary directory, removed with its contents.
class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::filesystem::path& Path() const { return m_path; }
    // The folder as the locale takes a root: UTF-16, ending with "/".
    std::u16string Root() const;

private:
    std::filesystem::path m_path;
};

std::u16string ToU16(const std::string& utf8);
inline std::u16string ToU16(const char* utf8) { return ToU16(std::string(utf8)); }
std::u16string ToU16(const std::filesystem::path& path);

}  // namespace lingua_test

#endif  // LINGUA_TESTS_MO_WRITER_H
