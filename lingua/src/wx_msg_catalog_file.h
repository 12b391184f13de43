// The bytes of one GNU gettext MO file, read at once, and bounds-checked
// access to its entries. Lives only while a catalogue is being filled.
#ifndef LINGUA_WX_MSG_CATALOG_FILE_H
#define LINGUA_WX_MSG_CATALOG_FILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class wxMsgCatalogFile {
public:
    wxMsgCatalogFile() = default;
    wxMsgCatalogFile(const wxMsgCatalogFile&) = delete;
    wxMsgCatalogFile& operator=(const wxMsgCatalogFile&) = delete;
    virtual ~wxMsgCatalogFile() = default;

    // Reads the whole file with one read call. False when the file cannot be
    // opened, is empty, is read short, or is not a usable catalogue.
    bool Load(const std::u16string& path);
    // The same checks over bytes already in memory (copied).
    bool LoadBytes(const uint8_t* bytes, size_t sizeBytes);

    uint32_t GetCount() const { return m_count; }
    // Entry `index` (< GetCount()) of the message-id table or of the
    // translation table: the UTF-8 bytes up to the first zero byte, or an
    // empty view when the entry's offset + length lies past the end.
    std::string_view GetOriginal(uint32_t index) const { return StringAt(m_origTable, index); }
    std::string_view GetTranslation(uint32_t index) const { return StringAt(m_transTable, index); }

    uint32_t GetFileLength() const { return m_fileLength; }

private:
    // Checks the header and the two tables of the bytes now held.
    bool Validate();
    std::string_view StringAt(const uint8_t* table, uint32_t index) const;
    uint32_t ReadU32(const uint8_t* at) const;

    const uint8_t* m_origTable = nullptr;
    const uint8_t* m_transTable = nullptr;
    uint32_t m_fileLength = 0;
    std::unique_ptr<uint8_t[]> m_data;
    uint32_t m_count = 0;
};

#endif  // LINGUA_WX_MSG_CATALOG_FILE_H
