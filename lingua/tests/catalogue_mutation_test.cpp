// Mutated and truncated catalogues: the reader must refuse or read them
// without ever touching a byte outside the file (the sanitizer build turns
// any such read into a failure), and its verdict must follow the header.
#include "mo_writer.h"
#include "wx_msg_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using namespace lingua_test;

namespace {

bool ReadBytes(wxMsgCatalog& catalog, const std::string& bytes) {
    return catalog.ReadCatalogBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// What the header alone says about a file: could it be read at all?
bool HeaderAllowsReading(const std::string& bytes) {
    if (bytes.size() <= 28 || GetU32(bytes, 0) != 0x950412de) return false;
    const uint64_t tableBytes = 8ull * GetU32(bytes, kCountOffset);
    return GetU32(bytes, kOrigTableOffset) + tableBytes <= bytes.size() &&
           GetU32(bytes, kTransTableOffset) + tableBytes <= bytes.size();
}

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds;
    seeds.push_back(BuildMo({}));
    seeds.back().push_back('\0');
    seeds.push_back(BuildMo({{"", "Content-Type: text/plain; charset=UTF-8\n"},
                             {"ok", "OK"},
                             {"cancel", "Abbrechen"},
                             {std::string("file\0files", 10), std::string("Datei\0Dateien", 13)},
                             {"ctx\x04open", "Öffnen"},
                             {"status-%d-%s", "%d Fotos (%s)"}}));
    seeds.push_back(BuildMo({{"a", ""}, {"b", "中文"}, {"a", "later"}}));
    // A real catalogue made by msgfmt, with its hash table, when it is built.
    std::ifstream real(PIXBRIDGE_APP_DIR "/I18n/en_US/strings.mo", std::ios::binary);
    if (real) seeds.emplace_back(std::istreambuf_iterator<char>(real), std::istreambuf_iterator<char>());
    return seeds;
}

// Values that tend to sit on a boundary of some check.
uint32_t InterestingValue(std::mt19937& random, uint32_t fileSize) {
    const uint32_t values[] = {0, 1, 7, 8, 27, 28, 29, fileSize - 1, fileSize, fileSize + 1,
                               fileSize / 2, 0x7FFFFFFF, 0x80000000, 0xFFFFFFF0, 0xFFFFFFF8,
                               0xFFFFFFFF, 0x20000000, 0x1FFFFFFF, 0x950412de, 0xde120495};
    return values[random() % (sizeof(values) / sizeof(values[0]))];
}

void Mutate(std::string& bytes, std::mt19937& random) {
    const int steps = 1 + static_cast<int>(random() % 4);
    for (int step = 0; step < steps && !bytes.empty(); ++step) {
        const auto size = static_cast<uint32_t>(bytes.size());
        switch (random() % 6) {
            case 0:  // flip one bit anywhere
                bytes[random() % size] ^= static_cast<char>(1u << (random() % 8));
                break;
            case 1:  // a random byte anywhere
                bytes[random() % size] = static_cast<char>(random());
                break;
            case 2:  // a boundary value into a header field or table entry
            case 3: {
                const uint32_t count = size > 12 ? GetU32(bytes, kCountOffset) : 0;
                const uint64_t tablesEnd = 28 + 16ull * (count < 4096 ? count : 0);
                const uint64_t span = tablesEnd < size ? tablesEnd : size;
                if (span < 4) break;
                const size_t at = (random() % (span / 4)) * 4;
                PutU32(bytes, at, InterestingValue(random, size));
                break;
            }
            case 4:  // truncate
                bytes.resize(random() % size);
                break;
            default:  // grow with junk, sometimes without a final zero byte
                for (uint32_t i = 1 + random() % 16; i > 0; --i) bytes.push_back(static_cast<char>(random() | 1));
                break;
        }
    }
}

void CheckReadable(const wxMsgCatalog& catalog, uint32_t count) {
    EXPECT_LE(catalog.GetSize(), count);
    for (const auto& [id, translation] : catalog.GetTable()) {
        const char16_t* found = catalog.LookUp(id.c_str());
        ASSERT_NE(found, nullptr);
        ASSERT_EQ(found, translation.c_str());
    }
}

}  // namespace

TEST(CatalogueMutationTest, EveryTruncationIsReadOrRefusedByTheHeader) {
    for (const std::string& seed : Seeds()) {
        for (size_t length = 0; length <= seed.size(); ++length) {
            const std::string bytes = seed.substr(0, length);
            wxMsgCatalog catalog;
            const bool read = ReadBytes(catalog, bytes);
            ASSERT_EQ(read, HeaderAllowsReading(bytes)) << "length " << length << " of " << seed.size();
            if (read) CheckReadable(catalog, GetU32(bytes, kCountOffset));
        }
    }
}

TEST(CatalogueMutationTest, MutatedCataloguesNeverReadOutsideTheFile) {
    const std::vector<std::string> seeds = Seeds();
    std::mt19937 random(20240611);
    int readCount = 0;
    constexpr int kRounds = 20000;
    for (int round = 0; round < kRounds; ++round) {
        std::string bytes = seeds[random() % seeds.size()];
        Mutate(bytes, random);
        wxMsgCatalog catalog;
        const bool read = ReadBytes(catalog, bytes);
        // The reader may refuse more than the header does (texts that overlap
        // without end), never less.
        if (read) {
            ASSERT_TRUE(HeaderAllowsReading(bytes)) << "round " << round;
            CheckReadable(catalog, GetU32(bytes, kCountOffset));
            ++readCount;
        }
        if (HasFatalFailure()) return;
    }
    // The mutations must leave a fair share readable, or the test only
    // exercises the header checks.
    EXPECT_GT(readCount, kRounds / 10);
}

TEST(CatalogueMutationTest, FilesAndBytesGiveTheSameCatalogue) {
    const std::vector<std::string> seeds = Seeds();
    TempFolder folder;
    const auto path = folder.Path() / "mutated.mo";
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = seeds[random() % seeds.size()];
        Mutate(bytes, random);
        WriteFile(path, bytes);
        wxMsgCatalog fromFile, fromBytes;
        const bool fileRead = fromFile.ReadCatalog(ToU16(path));
        ASSERT_EQ(fileRead, ReadBytes(fromBytes, bytes)) << "round " << round;
        EXPECT_EQ(fromFile.GetTable(), fromBytes.GetTable()) << "round " << round;
    }
}
