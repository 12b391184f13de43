#include "mo_writer.h"

#include <bedrock/bas_utility_string.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace lingua_test {

void PutU32(std::string& bytes, size_t offset, uint32_t value, ByteOrder order) {
    if (bytes.size() < offset + 4) bytes.resize(offset + 4, '\0');
    for (int i = 0; i < 4; ++i) {
        const int shift = order == ByteOrder::Little ? 8 * i : 8 * (3 - i);
        bytes[offset + i] = static_cast<char>((value >> shift) & 0xFF);
    }
}

uint32_t GetU32(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
    return value;
}

std::string BuildMo(const std::vector<MoEntry>& entries, ByteOrder order) {
    const auto count = static_cast<uint32_t>(entries.size());
    const uint32_t origTable = 28;
    const uint32_t transTable = origTable + 8 * count;
    uint32_t textOffset = transTable + 8 * count;

    std::string bytes;
    PutU32(bytes, 0, 0x950412de, order);
    PutU32(bytes, 4, 0, order);
    PutU32(bytes, kCountOffset, count, order);
    PutU32(bytes, kOrigTableOffset, origTable, order);
    PutU32(bytes, kTransTableOffset, transTable, order);
    PutU32(bytes, 20, 0, order);
    PutU32(bytes, 24, textOffset, order);
    bytes.resize(textOffset, '\0');

    auto addText = [&](const std::string& text, size_t entryOffset) {
        PutU32(bytes, entryOffset, static_cast<uint32_t>(text.size()), order);
        PutU32(bytes, entryOffset + 4, textOffset, order);
        bytes += text;
        bytes.push_back('\0');
        textOffset = static_cast<uint32_t>(bytes.size());
    };
    for (uint32_t i = 0; i < count; ++i) addText(entries[i].original, OrigEntry(i));
    for (uint32_t i = 0; i < count; ++i) addText(entries[i].translation, TransEntry(i, count));
    return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

TempFolder::TempFolder() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = base / ("lingua-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::u16string TempFolder::Root() const { return ToU16(m_path) + u"/"; }

std::u16string ToU16(const std::string& utf8) { return BASUtilityString::Utf8ToUtf16(utf8); }

std::u16string ToU16(const std::filesystem::path& path) { return ToU16(path.string()); }

}  // namespace lingua_test
