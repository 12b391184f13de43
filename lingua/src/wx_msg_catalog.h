// One loaded message catalogue: message id -> translation, both UTF-16,
// converted once at load time. Read-only once filled, so look-ups from any
// number of threads need no lock.
#ifndef LINGUA_WX_MSG_CATALOG_H
#define LINGUA_WX_MSG_CATALOG_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

class wxMsgCatalogFile;

class wxMsgCatalog {
public:
    // Ordered by UTF-16 code units; std::less<> only lets a look-up search
    // with a view of the caller's text instead of a copy of it.
    using Table = std::map<std::u16string, std::u16string, std::less<>>;

    wxMsgCatalog() = default;
    wxMsgCatalog(const wxMsgCatalog&) = delete;
    wxMsgCatalog& operator=(const wxMsgCatalog&) = delete;
    virtual ~wxMsgCatalog() = default;

    // Fills the catalogue from an MO file. False when the file cannot be
    // used; the catalogue is then left as it was.
    bool ReadCatalog(const std::u16string& path);
    // The same from bytes in memory.
    bool ReadCatalogBytes(const uint8_t* bytes, size_t sizeBytes);

    // The translation of `messageId` (exact, case-sensitive), or null. The
    // text stays valid as long as the catalogue exists.
    const char16_t* LookUp(const char16_t* messageId) const;

    size_t GetSize() const { return m_table.size(); }
    const Table& GetTable() const { return m_table; }

private:
    bool Fill(const wxMsgCatalogFile& file);

    Table m_table;
};

#endif  // LINGUA_WX_MSG_CATALOG_H
