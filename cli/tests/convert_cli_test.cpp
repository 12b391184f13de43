// pixbridge-convert end to end: exit codes, never overwriting, JSON lines,
// recursion, and Ctrl+C in the middle of a batch.
#include "console_report.h"

#include <rapidjson/document.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;

namespace {

const std::string kProgram = std::string(PIXBRIDGE_APP_DIR) + "/pixbridge-convert";
const fs::path kPhotos = PIXBRIDGE_PHOTOS_DIR;

struct Outcome {
    int status = -1;  // exit code, or 128 + signal
    std::string out, err;
};

// The program with its own process group, so a test can send Ctrl+C the way
// a terminal does: to the program and the codec's helper together.
class Process {
public:
    explicit Process(const std::vector<std::string>& args) {
        int out[2], err[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, kProgram.c_str(), &actions, &attributes, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Process() {
        if (out_ >= 0) close(out_);
        if (err_ >= 0) close(err_);
    }

    // Reads until standard output holds `text` (true) or the program ends.
    bool WaitForOutput(const std::string& text) {
        while (outcome_.out.find(text) == std::string::npos) {
            if (!ReadSome()) return false;
        }
        return true;
    }
    void Interrupt() { kill(-pid_, SIGINT); }
    Outcome Finish() {
        while (ReadSome()) {
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        outcome_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return outcome_;
    }

private:
    bool ReadSome() {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (out_ < 0 && err_ < 0) return false;
        if (poll(fds, 2, -1) <= 0) return false;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            int& fd = i == 0 ? out_ : err_;
            if (fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? outcome_.out : outcome_.err).append(buffer, static_cast<size_t>(n));
            } else {
                close(fd);
                fd = -1;
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    Outcome outcome_;
};

Outcome Convert(const std::vector<std::string>& args) { return Process(args).Finish(); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A JPEG that ends where a complete one ends.
bool IsCompleteJpeg(const fs::path& path) {
    const std::string data = ReadFile(path);
    return data.size() > 4 && data.compare(0, 2, "\xFF\xD8") == 0 && data.compare(data.size() - 2, 2, "\xFF\xD9") == 0;
}

class ConvertCli : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("convert_cli_" + std::to_string(getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "in");
        // The program's log goes to this test's folder.
        setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
        fs::create_directories(root_ / "tmp");
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        fs::remove_all(root_);
    }
    fs::path Photo(const std::string& name, const fs::path& as) {
        fs::create_directories(as.parent_path());
        fs::copy_file(kPhotos / name, as);
        return as;
    }

    fs::path root_;
};

TEST_F(ConvertCli, ExitCodesTellConvertedFailedAndUsageErrors) {
    const fs::path good = Photo("lh_example.heic", root_ / "in/good.heic");
    EXPECT_EQ(Convert({"--quiet", good}).status, 0);
    EXPECT_TRUE(IsCompleteJpeg(root_ / "in/good.JPG"));

    // ph_empty.heic is an empty file: it fails, the good photo converts.
    const fs::path empty = Photo("ph_empty.heic", root_ / "mixed/empty.heic");
    Photo("lh_example.heic", root_ / "mixed/fine.heic");
    const Outcome mixed = Convert({"-o", (root_ / "out").string(), (root_ / "mixed").string()});
    EXPECT_EQ(mixed.status, 1) << mixed.err;
    EXPECT_NE(mixed.err.find("failed " + empty.string()), std::string::npos) << mixed.err;
    EXPECT_EQ(Names(root_ / "out"), std::set<std::string>{"fine.JPG"});
    EXPECT_NE(mixed.out.find("Converted 1, failed 1, skipped 0"), std::string::npos) << mixed.out;

    // Usage errors: reported before any work, nothing written.
    const std::vector<std::vector<std::string>> usage = {
        {"-f", "gif", good},
        {"-q", "0", good},
        {"-q", "101", good},
        {"--max-size", "15", good},
        {"--no-such-option", good},
        {},
        {(root_ / "missing").string()},
        {"-o", (root_ / "made").string(), (root_ / "missing").string()},
        {"-o", good, good},                            // not a folder
        {"-o", (good / "sub").string(), good},         // cannot be made
    };
    for (const auto& args : usage) {
        const Outcome o = Convert(args);
        EXPECT_EQ(o.status, 2) << (args.empty() ? "(no arguments)" : args[0]) << ": " << o.err;
        EXPECT_NE(o.err.find("pixbridge-convert: "), std::string::npos) << o.err;
    }
    EXPECT_FALSE(fs::exists(root_ / "made"));
    EXPECT_EQ(Names(root_ / "in"), (std::set<std::string>{"good.heic", "good.JPG"}));
}

namespace {

// The width and height of a JPEG's frame header, or 0x0.
std::pair<int, int> JpegSize(const fs::path& path) {
    const std::string d = ReadFile(path);
    for (size_t i = 2; i + 9 < d.size() && static_cast<uint8_t>(d[i]) == 0xFF;) {
        const auto marker = static_cast<uint8_t>(d[i + 1]);
        const size_t length = static_cast<uint8_t>(d[i + 2]) << 8 | static_cast<uint8_t>(d[i + 3]);
        if (marker >= 0xC0 && marker <= 0xC2) {
            return {static_cast<uint8_t>(d[i + 7]) << 8 | static_cast<uint8_t>(d[i + 8]),
                    static_cast<uint8_t>(d[i + 5]) << 8 | static_cast<uint8_t>(d[i + 6])};
        }
        i += 2 + length;
    }
    return {0, 0};
}

}  // namespace

TEST_F(ConvertCli, MaxSizeShrinksAndWithoutLibswscaleThePhotoFailsCleanly) {
    const fs::path photo = Photo("lh_example.heic", root_ / "in/IMG.heic");
    EXPECT_EQ(Convert({"--quiet", "--max-size", "640", "-o", (root_ / "out").string(), photo}).status, 0);
    EXPECT_EQ(JpegSize(root_ / "out/IMG.JPG"), std::make_pair(640, 427));

    // The helper the program starts inherits the setting.
    setenv("PIXBRIDGE_SWSCALE", (root_ / "no-libswscale.so").c_str(), 1);
    const Outcome missing = Convert({"--max-size", "640", "-o", (root_ / "none").string(), photo});
    unsetenv("PIXBRIDGE_SWSCALE");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("resizing needs libswscale, which is not installed"), std::string::npos) << missing.err;
    EXPECT_TRUE(Names(root_ / "none").empty());
}

TEST_F(ConvertCli, AnExistingResultIsKeptAndTheNextFreeNameUsedWithTheDateOfThePhoto) {
    const fs::path photo = Photo("lh_example.heic", root_ / "in/IMG_0001.heic");
    fs::create_directories(root_ / "out");
    { std::ofstream(root_ / "out/IMG_0001.JPG") << "keep me"; }
    const fs::file_time_type taken = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(photo, taken);

    const Outcome o = Convert({"-o", (root_ / "out").string(), photo.string()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(ReadFile(root_ / "out/IMG_0001.JPG"), "keep me");
    ASSERT_TRUE(IsCompleteJpeg(root_ / "out/IMG_0001 (1).JPG"));
    EXPECT_EQ(fs::last_write_time(root_ / "out/IMG_0001 (1).JPG"), taken);
}

TEST_F(ConvertCli, JsonLinesParseAndNameEveryFile) {
    Photo("lh_example.heic", root_ / "in/a.HEIC");
    Photo("ph_empty.heic", root_ / "in/b.heic");
    { std::ofstream(root_ / "in/notes.txt") << "not a photo"; }
    const Outcome o = Convert({"--json", "-f", "png", (root_ / "in").string()});
    EXPECT_EQ(o.status, 1);
    std::map<std::string, std::string> status;
    for (const std::string& line : Lines(o.out)) {
        rapidjson::Document doc;
        doc.Parse(line.c_str());
        ASSERT_FALSE(doc.HasParseError()) << line;
        ASSERT_TRUE(doc.IsObject() && doc["path"].IsString() && doc["status"].IsString() &&
                    doc["milliseconds"].IsInt64())
            << line;
        EXPECT_GE(doc["milliseconds"].GetInt64(), 0);
        status[fs::path(doc["path"].GetString()).filename().string()] = doc["status"].GetString();
        if (status.rbegin()->second == "failed") {
            EXPECT_TRUE(doc.HasMember("error")) << line;
        }
    }
    EXPECT_EQ(status, (std::map<std::string, std::string>{
                          {"a.HEIC", "converted"}, {"b.heic", "failed"}, {"notes.txt", "skipped"}}));
    EXPECT_TRUE(fs::exists(root_ / "in/a.PNG"));
    // The summary stays off standard output.
    EXPECT_NE(o.err.find("Converted 1, failed 1, skipped 1"), std::string::npos) << o.err;
}

TEST_F(ConvertCli, SubFoldersAreSearchedOnlyWithRecursionAndResultsLandBesideTheirPhotos) {
    Photo("lh_example.heic", root_ / "in/top.heic");
    Photo("lh_example.heic", root_ / "in/2023/trip/deep.heic");
    fs::create_symlink(root_ / "in", root_ / "in/2023/loop");  // never followed

    Outcome o = Convert({"--json", (root_ / "in").string()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Lines(o.out).size(), 1u) << o.out;
    EXPECT_FALSE(fs::exists(root_ / "in/2023/trip/deep.JPG"));

    o = Convert({"--json", "-r", (root_ / "in").string()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(IsCompleteJpeg(root_ / "in/2023/trip/deep.JPG"));
    // top.heic again, beside the first result; deep.heic once despite the link.
    EXPECT_TRUE(fs::exists(root_ / "in/top (1).JPG"));
    EXPECT_EQ(Lines(o.out).size(), 3u) << o.out;  // two photos and the first run's JPG, skipped
}

TEST_F(ConvertCli, WithAnOutputFolderTheTreeOfEachFolderIsKept) {
    Photo("lh_example.heic", root_ / "in/DCIM/a/IMG_0001.heic");
    Photo("lh_example.heic", root_ / "in/DCIM/b/IMG_0001.heic");
    Photo("lh_example.heic", root_ / "in/DCIM/top.heic");
    Photo("lh_example.heic", root_ / "in/other/DCIM/IMG_0001.heic");
    const fs::path single = Photo("lh_example.heic", root_ / "in/single.heic");

    // One folder: its tree straight under the output folder.
    Outcome o = Convert({"-r", "-o", (root_ / "one").string(), (root_ / "in/DCIM").string()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Names(root_ / "one"), (std::set<std::string>{"a", "b", "top.JPG"}));
    EXPECT_TRUE(IsCompleteJpeg(root_ / "one/a/IMG_0001.JPG"));
    EXPECT_TRUE(IsCompleteJpeg(root_ / "one/b/IMG_0001.JPG"));

    // Two folders of the same name get a folder each; a photo named on its
    // own lands in the output folder; the first run's results are kept.
    o = Convert({"-r", "-o", (root_ / "one").string(), (root_ / "in/DCIM").string(),
                 (root_ / "in/other/DCIM").string(), single.string()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Names(root_ / "one"), (std::set<std::string>{"a", "b", "top.JPG", "DCIM", "DCIM (1)", "single.JPG"}));
    EXPECT_EQ(Names(root_ / "one/DCIM/a"), (std::set<std::string>{"IMG_0001.JPG"}));
    EXPECT_EQ(Names(root_ / "one/DCIM (1)"), (std::set<std::string>{"IMG_0001.JPG"}));

    // A folder of the tree that cannot be made fails its photos alone.
    std::ofstream(root_ / "blocked").put('x');
    fs::create_directories(root_ / "two");
    fs::create_symlink(root_ / "blocked", root_ / "two/a");
    o = Convert({"--json", "-r", "-o", (root_ / "two").string(), (root_ / "in/DCIM").string()});
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(IsCompleteJpeg(root_ / "two/b/IMG_0001.JPG"));
    EXPECT_NE(o.out.find("cannot make the output folder"), std::string::npos) << o.out;
}

TEST_F(ConvertCli, CtrlCStopsAfterTheCurrentPhotoAndLeavesOnlyCompleteFiles) {
    const char* names[] = {"tifig_1_portrait.heic", "tifig_2_landscape.heic", "tifig_4_city.heic",
                           "tifig_7_animal_farm.heic", "ph_pug.heic", "ph_arrow.heic"};
    for (const char* name : names) Photo(name, root_ / "in" / name);
    Process process({"-o", (root_ / "out").string(), (root_ / "in").string()});
    ASSERT_TRUE(process.WaitForOutput("converted ")) << "no photo finished";
    process.Interrupt();
    const Outcome o = process.Finish();
    EXPECT_EQ(o.status, 130) << o.out << o.err;

    // "Stopped by Ctrl+C after ...: converted C, failed F, skipped 0, not converted N"
    const size_t at = o.out.find("Stopped by Ctrl+C after ");
    ASSERT_NE(at, std::string::npos) << o.out;
    size_t converted = 0, failed = 0, skipped = 0, notConverted = 0;
    ASSERT_EQ(sscanf(o.out.c_str() + o.out.find(": converted ", at), ": converted %zu, failed %zu, skipped %zu, not converted %zu",
                     &converted, &failed, &skipped, &notConverted),
              4)
        << o.out;
    EXPECT_GE(converted, 1u);
    EXPECT_GE(notConverted, 1u);
    EXPECT_EQ(converted + failed + notConverted, std::size(names));
    // Exactly the converted photos are there, each complete; nothing else.
    const std::set<std::string> written = Names(root_ / "out");
    EXPECT_EQ(written.size(), converted);
    for (const std::string& name : written) EXPECT_TRUE(IsCompleteJpeg(root_ / "out" / name)) << name;
}

// "link/.." goes where the kernel goes: back from the link's target, not
// from the link's own folder. A photo that is itself a link keeps its name.
TEST_F(ConvertCli, LinksInRelativePathsResolveAsTheKernelResolvesThem) {
    fs::create_directories(root_ / "real/deep");
    fs::create_directory_symlink(root_ / "real/deep", root_ / "in/link");
    Photo("lh_example.heic", root_ / "real/IMG.heic");
    Photo("lh_example.heic", root_ / "in/IMG.heic");  // where the text alone would lead
    Photo("lh_example.heic", root_ / "real/other.heic");
    fs::create_symlink(root_ / "real/other.heic", root_ / "in/alias.heic");
    const fs::path saved = fs::current_path();
    fs::current_path(root_ / "in");
    const Outcome o = Convert({"--json", "-o", "link/../out", "link/../IMG.heic", "alias.heic"});
    fs::current_path(saved);
    ASSERT_EQ(o.status, 0) << o.err;
    // The results went to real/out, the photo converted was real/IMG.heic.
    EXPECT_EQ(Names(root_ / "real/out"), (std::set<std::string>{"IMG.JPG", "alias.JPG"}));
    EXPECT_FALSE(fs::exists(root_ / "in/out"));
    std::set<std::string> paths;
    for (const std::string& line : Lines(o.out)) {
        rapidjson::Document doc;
        doc.Parse(line.c_str());
        ASSERT_TRUE(doc.IsObject() && doc["path"].IsString()) << line;
        paths.insert(doc["path"].GetString());
    }
    const fs::path real = fs::canonical(root_);
    EXPECT_EQ(paths, (std::set<std::string>{(real / "real/IMG.heic").string(), (real / "in/alias.heic").string()}));
}

TEST_F(ConvertCli, OptionErrorsCannotCarryTerminalControls) {
    const fs::path good = Photo("lh_example.heic", root_ / "in/good.heic");
    // A globbed name that retitles the terminal, given as a quality.
    const Outcome o = Convert({"-q", "\x1b]2;owned\x07", good.string()});
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("?]2;owned?"), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find('\x1b'), std::string::npos);
    EXPECT_EQ(o.err.find('\x07'), std::string::npos);
}

TEST(ProgressBar, FitsTheTerminalWithoutCuttingACharacter) {
    const std::string bar = ConsoleReport::FormatBar(3, 8, 6.0, u8"été-été-été-été.heic", 60);
    EXPECT_EQ(bar.rfind("3/8 [#######-------------]  0.50 photos/s  0:10 left  ", 0), 0u) << bar;
    const std::string narrow = ConsoleReport::FormatBar(3, 8, 6.0, u8"ééééééééééééééééééééééééééééé", 70);
    size_t columns = 0;
    for (unsigned char c : narrow) columns += (c & 0xC0) != 0x80;
    EXPECT_EQ(columns, 69u);
    EXPECT_NE(static_cast<unsigned char>(narrow.back()), 0xC3) << "a character was cut in two";
}

}  // namespace

namespace {

TEST(TerminalText, FileNamesCannotCarryTerminalControls) {
    // ESC, a C1 CSI and a stray byte: none reaches the terminal as such.
    EXPECT_EQ(ConsoleReport::Printable("a\x1b[31mb\xc2\x9b" "c\xff.heic"), "a?[31mb?c\xEF\xBF\xBD.heic");
    EXPECT_EQ(ConsoleReport::Printable(u8"été.heic"), u8"été.heic");
}

}  // namespace
