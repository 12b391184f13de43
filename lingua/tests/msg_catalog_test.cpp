// The MO reader: file handling, header and table checks, string rules.
#include "mo_writer.h"
#include "wx_msg_catalog.h"

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>

using namespace lingua_test;

namespace {

bool ReadBytes(wxMsgCatalog& catalog, const std::string& bytes) {
    return catalog.ReadCatalogBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::u16string LookUpText(const wxMsgCatalog& catalog, const char16_t* id) {
    const char16_t* found = catalog.LookUp(id);
    return found ? std::u16string(found) : std::u16string(u"<none>");
}

class MsgCatalogFileTest : public ::testing::Test {
protected:
    bool ReadFile(const std::string& name, const std::string& bytes) {
        const auto path = m_folder.Path() / name;
        WriteFile(path, bytes);
        return m_catalog.ReadCatalog(ToU16(path));
    }

    TempFolder m_folder;
    wxMsgCatalog m_catalog;
};

}  // namespace

TEST_F(MsgCatalogFileTest, EmptyCatalogueLoadsAndFindsNothing) {
    // No entries, but a one-slot hash table after the header, as writers add.
    std::string bytes = BuildMo({});
    PutU32(bytes, 20, 1);
    PutU32(bytes, 24, 28);
    PutU32(bytes, 28, 0);
    EXPECT_TRUE(ReadFile("empty.mo", bytes));
    EXPECT_EQ(m_catalog.GetSize(), 0u);
    EXPECT_EQ(m_catalog.LookUp(u"open"), nullptr);
}

TEST_F(MsgCatalogFileTest, FileMustBeLongerThanItsHeader) {
    const std::string header = BuildMo({});
    ASSERT_EQ(header.size(), 28u);
    EXPECT_FALSE(ReadFile("header-only.mo", header));
    EXPECT_TRUE(ReadFile("one-more.mo", header + std::string(1, '\0')));
    EXPECT_FALSE(ReadFile("short.mo", header.substr(0, 27)));
    EXPECT_FALSE(ReadFile("zero.mo", ""));
}

TEST_F(MsgCatalogFileTest, UnusablePathsFail) {
    EXPECT_FALSE(m_catalog.ReadCatalog(ToU16(m_folder.Path() / "missing.mo")));
    // A folder opens for reading on Linux but is no catalogue.
    EXPECT_FALSE(m_catalog.ReadCatalog(ToU16(m_folder.Path())));
    EXPECT_FALSE(m_catalog.ReadCatalog(u""));
    // A named pipe must neither block the open nor be read.
    const auto pipe = m_folder.Path() / "pipe.mo";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(m_catalog.ReadCatalog(ToU16(pipe)));
}

TEST_F(MsgCatalogFileTest, WrongByteOrderOrMagicIsRejected) {
    const std::vector<MoEntry> entries = {{"open", "Open"}};
    EXPECT_FALSE(ReadFile("big.mo", BuildMo(entries, ByteOrder::Big)));
    std::string bytes = BuildMo(entries);
    bytes[0] ^= 1;
    EXPECT_FALSE(ReadFile("magic.mo", bytes));
    EXPECT_TRUE(ReadFile("little.mo", BuildMo(entries)));
}

TEST_F(MsgCatalogFileTest, FailedReadKeepsEarlierContents) {
    ASSERT_TRUE(ReadFile("good.mo", BuildMo({{"open", "Open"}})));
    EXPECT_FALSE(ReadFile("bad.mo", BuildMo({{"open", "Other"}}, ByteOrder::Big)));
    EXPECT_EQ(LookUpText(m_catalog, u"open"), u"Open");
}

TEST(MsgCatalogTest, LaterDuplicateWins) {
    wxMsgCatalog catalog;
    ASSERT_TRUE(ReadBytes(catalog, BuildMo({{"ok", "first"}, {"cancel", "Cancel"}, {"ok", "second"}})));
    EXPECT_EQ(catalog.GetSize(), 2u);
    EXPECT_EQ(LookUpText(catalog, u"ok"), u"second");
}

TEST(MsgCatalogTest, PluralEntryIsFoundUnderItsSingular) {
    wxMsgCatalog catalog;
    ASSERT_TRUE(ReadBytes(catalog, BuildMo({{std::string("file\0files", 10), std::string("Datei\0Dateien", 13)}})));
    EXPECT_EQ(LookUpText(catalog, u"file"), u"Datei");
    EXPECT_EQ(catalog.LookUp(u"files"), nullptr);
}

TEST(MsgCatalogTest, LookUpIsExactAndCaseSensitive) {
    wxMsgCatalog catalog;
    ASSERT_TRUE(ReadBytes(catalog, BuildMo({{"open", "Open"}, {"menu\x04save", "Save"}, {"blank", ""}})));
    EXPECT_EQ(catalog.LookUp(u"Open"), nullptr);
    EXPECT_EQ(catalog.LookUp(u"open "), nullptr);
    EXPECT_EQ(catalog.LookUp(u"ope"), nullptr);
    // A context prefix stays part of the id.
    EXPECT_EQ(catalog.LookUp(u"save"), nullptr);
    EXPECT_EQ(LookUpText(catalog, u"menu\x04save"), u"Save");
    // An empty translation is still a hit.
    ASSERT_NE(catalog.LookUp(u"blank"), nullptr);
    EXPECT_EQ(LookUpText(catalog, u"blank"), u"");
    EXPECT_EQ(catalog.LookUp(nullptr), nullptr);
}

TEST(MsgCatalogTest, TextsAreConvertedFromUtf8) {
    wxMsgCatalog catalog;
    ASSERT_TRUE(ReadBytes(catalog, BuildMo({
                                       {"size", "Größe"},
                                       {"folder", "資料夾"},
                                       {"smile", "\xF0\x9F\x98\x80"},
                                       {"broken", "a\xFF" "b\xC3"},
                                   })));
    EXPECT_EQ(LookUpText(catalog, u"size"), u"Größe");
    EXPECT_EQ(LookUpText(catalog, u"folder"), u"資料夾");
    EXPECT_EQ(LookUpText(catalog, u"smile"), u"\xD83D\xDE00");
    EXPECT_EQ(LookUpText(catalog, u"broken"), u"a\xFFFD" u"b\xFFFD");
}

TEST(MsgCatalogTest, TablesOutsideTheFileAreRejected) {
    const std::vector<MoEntry> entries = {{"ok", "OK"}, {"cancel", "Cancel"}};
    const std::string good = BuildMo(entries);
    wxMsgCatalog catalog;
    ASSERT_TRUE(ReadBytes(catalog, good));

    struct Case {
        const char* what;
        size_t field;
        uint32_t value;
    };
    const uint32_t size = static_cast<uint32_t>(good.size());
    const Case cases[] = {
        {"ids wholly past the end", kOrigTableOffset, size + 64},
        {"translations wholly past the end", kTransTableOffset, size},
        {"translations partly past the end", kTransTableOffset, size - 12},
        {"ids offset wraps in 32 bits", kOrigTableOffset, 0xFFFFFFF8u},
        {"count larger than the file", kCountOffset, 1000},
        // 0x20000001 * 8 wraps to 8 in 32 bits.
        {"count times entry size wraps", kCountOffset, 0x20000001u},
        {"largest count", kCountOffset, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        std::string bytes = good;
        PutU32(bytes, c.field, c.value);
        EXPECT_FALSE(ReadBytes(catalog, bytes)) << c.what;
    }
    // Tables that end exactly at the end of the file are inside it.
    std::string exact = good;
    exact.resize(TransEntry(2, 2));
    EXPECT_TRUE(ReadBytes(catalog, exact));
}

TEST(MsgCatalogTest, StringsOutsideTheFileCountAsEmpty) {
    const std::vector<MoEntry> entries = {{"ok", "OK"}, {"cancel", "Cancel"}, {"open", "Open"}};
    std::string bytes = BuildMo(entries);
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    // Translation 0 runs one byte past the end.
    PutU32(bytes, TransEntry(0, 3), size - GetU32(bytes, TransEntry(0, 3) + 4) + 1);
    // Translation 1: offset + length wraps to a small number in 32 bits.
    PutU32(bytes, TransEntry(1, 3), 0x20);
    PutU32(bytes, TransEntry(1, 3) + 4, 0xFFFFFFF0u);
    // Message id 2 starts past the end: stored under the empty id.
    PutU32(bytes, OrigEntry(2) + 4, size + 1);

    wxMsgCatalog catalog;
    ASSERT_TRUE(ReadBytes(catalog, bytes));
    EXPECT_EQ(LookUpText(catalog, u"ok"), u"");
    EXPECT_EQ(LookUpText(catalog, u"cancel"), u"");
    EXPECT_EQ(catalog.LookUp(u"open"), nullptr);
    EXPECT_EQ(LookUpText(catalog, u""), u"Open");
}

TEST(MsgCatalogTest, UnterminatedLastTextStopsAtTheEnd) {
    std::string bytes = BuildMo({{"ok", "OK!"}});
    bytes.pop_back();  // the zero byte after the last translation
    wxMsgCatalog catalog;
    ASSERT_TRUE(ReadBytes(catalog, bytes));
    EXPECT_EQ(LookUpText(catalog, u"ok"), u"OK!");
}

TEST(MsgCatalogTest, SharedTextsLoadButEndlessOverlapIsRefused) {
    // A writer that points every translation at its message id (an
    // untranslated catalogue) is odd but honest.
    std::string shared = BuildMo({{"ok", "x"}, {"cancel", "y"}});
    PutU32(shared, TransEntry(0, 2), GetU32(shared, OrigEntry(0)));
    PutU32(shared, TransEntry(0, 2) + 4, GetU32(shared, OrigEntry(0) + 4));
    wxMsgCatalog catalog;
    ASSERT_TRUE(ReadBytes(catalog, shared));
    EXPECT_EQ(LookUpText(catalog, u"ok"), u"ok");

    // Hundreds of entries all pointing at the same long text would make the
    // load decode the file hundreds of times over.
    std::vector<MoEntry> many(300, MoEntry{"k", "v"});
    std::string bytes = BuildMo(many);
    const uint32_t textOffset = static_cast<uint32_t>(bytes.size());
    bytes += std::string(2000, 'a');
    bytes.push_back('\0');
    for (size_t i = 0; i < many.size(); ++i) {
        PutU32(bytes, OrigEntry(i), 2000);
        PutU32(bytes, OrigEntry(i) + 4, textOffset);
        PutU32(bytes, TransEntry(i, many.size()), 2000);
        PutU32(bytes, TransEntry(i, many.size()) + 4, textOffset);
    }
    EXPECT_FALSE(ReadBytes(catalog, bytes));
    EXPECT_EQ(LookUpText(catalog, u"ok"), u"ok") << "a refused load keeps the earlier contents";
}
