// The report helper packs a crashed run's folder and then lets the handler
// clear it: it must do so only for a real dump in the report folder.
#include <bedrock/bas_dbg_report.h>
#include <bedrock/bas_utility_string.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int handled = 0;
void OnCrash(const char16_t*) { ++handled; }
void OnExtra(const char16_t* folder, char16_t** extra) {
    const std::string path = BASUtilityString::Utf16ToUtf8(folder) + "Crash.json";
    std::ofstream(path) << "{}";
    *extra = BASUtilityString::ConvertUtf8ToUnicode(path.c_str());
}

class CrashReport : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("reports_" + std::to_string(getpid()));
        day_ = root_ / "20261208";
        fs::create_directories(day_);
        fs::permissions(root_, fs::perms::owner_all);
        std::ofstream(day_ / "20261208101010.dmp") << "signal 11 (SIGSEGV)\n";
        std::ofstream(day_ / "PixbridgeManager.INFO") << "log\n";
        BASDbgReport::SetReportRoot(BASUtilityString::Utf8ToUtf16(root_.string() + "/"));
        handled = 0;
    }
    void TearDown() override { fs::remove_all(root_); }
    static int Run(const fs::path& dump) {
        return BASDbgReport::RunCrashReport(BASUtilityString::Utf8ToUtf16(dump.string()), &OnCrash, &OnExtra);
    }
    fs::path root_, day_;
};

// The archive's entries, name to contents, read back through its central
// directory and inflated.
std::map<std::string, std::string> Unzip(const fs::path& zip) {
    std::ifstream in(zip, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(data[at]) | static_cast<uint8_t>(data[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    std::map<std::string, std::string> entries;
    const size_t end = data.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos) return entries;
    for (size_t at = u32(end + 16), n = 0; n < u16(end + 10); ++n) {
        const uint32_t crc = u32(at + 16), packed = u32(at + 20), size = u32(at + 24);
        const uint32_t nameLength = u16(at + 28), header = u32(at + 42);
        const std::string name = data.substr(at + 46, nameLength);
        at += 46 + nameLength + u16(at + 30) + u16(at + 32);
        const size_t body = header + 30 + u16(header + 26) + u16(header + 28);
        std::string out(size, '\0');
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + body));
        z.avail_in = packed;
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = size;
        const int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        EXPECT_EQ(rc, Z_STREAM_END) << name;
        EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(out.data()), size), crc) << name;
        entries[name] = out;
    }
    return entries;
}

TEST_F(CrashReport, PacksTheCrashedRunsFilesThenCallsTheHandler) {
    // The crashed run's log, large enough to take many chunks; the day's
    // other logs are not the crash's.
    const std::string log = "PixbridgeManager.host.user.log.INFO.20261208-100000.4242";
    std::string big;
    for (uint64_t i = 0; big.size() < 3 * 1024 * 1024; ++i) big += "line " + std::to_string(i * 7919 % 100003) + "\n";
    std::ofstream(day_ / log) << big;
    std::ofstream(day_ / "PixbridgeManager.host.user.log.INFO.20261208-090000.4241") << "an earlier run\n";
    std::ofstream(day_ / "20261208101010.dmp") << "pid 4242\nsignal 11 (SIGSEGV)\n";
    EXPECT_EQ(Run(day_ / "20261208101010.dmp"), 0);
    EXPECT_EQ(handled, 1);
    ASSERT_TRUE(fs::exists(day_ / "20261208101010.zip"));
    const std::map<std::string, std::string> entries = Unzip(day_ / "20261208101010.zip");
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.first);
    EXPECT_EQ(names, (std::vector<std::string>{"20261208101010.dmp", "Crash.json", log}));
    EXPECT_EQ(entries.at(log), big);
    EXPECT_EQ(entries.at("Crash.json"), "{}");
    EXPECT_TRUE(fs::exists(day_ / "Crash.json"));  // clearing is the crash handler's

    // A dump without its process id: the dump and the summary only.
    std::ofstream(day_ / "20261208111111.dmp") << "signal 6 (SIGABRT)\n";
    EXPECT_EQ(Run(day_ / "20261208111111.dmp"), 0);
    EXPECT_EQ(Unzip(day_ / "20261208111111.zip").size(), 2u);
}

TEST_F(CrashReport, AnythingButARealDumpInTheReportFolderIsRefused) {
    const fs::path elsewhere = fs::temp_directory_path() / ("not_reports_" + std::to_string(getpid()));
    fs::create_directories(elsewhere);
    std::ofstream(elsewhere / "x.dmp") << "x";
    std::ofstream(elsewhere / "precious.txt") << "keep";
    EXPECT_EQ(Run(elsewhere / "x.dmp"), 1);                   // outside the report folder
    EXPECT_EQ(Run(day_ / "PixbridgeManager.INFO"), 1);        // not a dump
    fs::create_symlink(elsewhere / "x.dmp", day_ / "link.dmp");
    EXPECT_EQ(Run(day_ / "link.dmp"), 1);                     // a link, not a file
    EXPECT_EQ(Run(day_ / "missing.dmp"), 1);
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(fs::exists(elsewhere / "precious.txt"));
    EXPECT_FALSE(fs::exists(elsewhere / "x.zip"));
    fs::remove_all(elsewhere);
}

// The attacks of issue 14: a dump path that leaves the root through "..",
// through a linked folder inside the root, a root open to everyone, no root.
TEST_F(CrashReport, OnlyTheRealFolderInsideThePrivateRootIsActedOn) {
    const fs::path victim = fs::temp_directory_path() / ("victim_" + std::to_string(getpid()));
    fs::create_directories(victim);
    std::ofstream(victim / "x.dmp") << "x";
    std::ofstream(victim / "thesis.odt") << "years of work";

    // ".." out of the root, spelt from inside it.
    const fs::path dotted = day_ / ".." / ".." / victim.filename() / "x.dmp";
    EXPECT_EQ(Run(dotted), 1);
    // A folder inside the root that is a link to the victim's folder.
    fs::create_symlink(victim, root_ / "20261209");
    EXPECT_EQ(Run(root_ / "20261209" / "x.dmp"), 1);
    // A dump that is a link, even to a file inside the root.
    fs::create_symlink(day_ / "20261208101010.dmp", day_ / "alias.dmp");
    EXPECT_EQ(Run(day_ / "alias.dmp"), 1);
    EXPECT_EQ(handled, 0);
    EXPECT_FALSE(fs::exists(victim / "x.zip"));
    EXPECT_FALSE(fs::exists(victim / "Crash.json"));

    // A root that others may write to could hold their links: no report.
    fs::permissions(root_, fs::perms::owner_all | fs::perms::others_all);
    EXPECT_EQ(Run(day_ / "20261208101010.dmp"), 1);
    fs::permissions(root_, fs::perms::owner_all);
    // No root at all: nothing is reported.
    BASDbgReport::SetReportRoot(u"");
    EXPECT_EQ(Run(day_ / "20261208101010.dmp"), 1);
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(BASDbgReport::ResolveInsideReportRoot(day_.string()), "");
    BASDbgReport::SetReportRoot(BASUtilityString::Utf8ToUtf16(root_.string() + "/"));

    // The real one still works, through a spelling with "." and "//".
    EXPECT_EQ(Run(root_ / "." / "20261208" / "" / "20261208101010.dmp"), 0);
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(fs::exists(victim / "thesis.odt"));
    EXPECT_EQ(fs::status(day_ / "20261208101010.zip").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(BASDbgReport::ResolveInsideReportRoot(day_.string()), day_.string() + "/");
    EXPECT_EQ(BASDbgReport::ResolveInsideReportRoot((root_ / "20261209").string()), "");
    fs::remove_all(victim);
}

TEST_F(CrashReport, TheArchiveNeverWritesThroughALink) {
    const fs::path victim = fs::temp_directory_path() / ("zip_victim_" + std::to_string(getpid()));
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, day_ / "20261208101010.zip");
    EXPECT_EQ(Run(day_ / "20261208101010.dmp"), 1);  // the name is taken: no archive, no clearing
    EXPECT_EQ(handled, 0);
    std::ifstream in(victim);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "precious");
    fs::remove(victim);
}

}  // namespace
