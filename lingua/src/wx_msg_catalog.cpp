#include "wx_msg_catalog.h"

#include "wx_msg_catalog_file.h"

#include <bedrock/bas_utility_string.h>

#include <string_view>

namespace {

// Entries may share or overlap their texts, and a text without a zero byte
// runs to the end of the file, so a small hostile file could make every one
// of its entries decode the whole file: quadratic work at start-up. A file
// written by a catalogue tool holds each text once, so the texts of all
// entries together never exceed the file. Allowing a generous multiple keeps
// odd but honest writers working and bounds the work by the file's size.
constexpr uint64_t kMaxTextBytesPerFileByte = 8;

}  // namespace

bool wxMsgCatalog::ReadCatalog(const std::u16string& path) {
    wxMsgCatalogFile file;
    if (!file.Load(path)) return false;
    return Fill(file);
}

bool wxMsgCatalog::ReadCatalogBytes(const uint8_t* bytes, size_t sizeBytes) {
    wxMsgCatalogFile file;
    if (!file.LoadBytes(bytes, sizeBytes)) return false;
    return Fill(file);
}

bool wxMsgCatalog::Fill(const wxMsgCatalogFile& file) {
    const uint64_t budgetBytes = static_cast<uint64_t>(file.GetFileLength()) * kMaxTextBytesPerFileByte;
    uint64_t textBytes = 0;
    Table table;
    for (uint32_t i = 0; i < file.GetCount(); ++i) {
        const std::string_view original = file.GetOriginal(i);
        const std::string_view translation = file.GetTranslation(i);
        textBytes += original.size() + translation.size();
        if (textBytes > budgetBytes) return false;
        // A later entry with the same message id replaces an earlier one.
        table.insert_or_assign(BASUtilityString::Utf8ToUtf16(std::string(original)),
                               BASUtilityString::Utf8ToUtf16(std::string(translation)));
    }
    m_table.swap(table);
    return true;
}

const char16_t* wxMsgCatalog::LookUp(const char16_t* messageId) const {
    if (!messageId) return nullptr;
    const auto found = m_table.find(std::u16string_view(messageId));
    return found == m_table.end() ? nullptr : found->second.c_str();
}
