// The loader and the bus, exercised with real probe modules installed into
// temporary module folders.
#include "plugin_util.h"
#include "probe_protocol.h"

#include <pixbridge/module_contract.h>

#include <dlfcn.h>
#include <glog/logging.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using plugin_util::ModuleRecord;

namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class ErrorCounter : public google::LogSink {
public:
    void send(google::LogSeverity severity, const char*, const char*, int, const google::LogMessageTime&,
              const char* message, size_t length) override {
        if (severity != google::GLOG_ERROR) return;
        std::lock_guard<std::mutex> lock(mutex_);
        errors_.emplace_back(message, length);
    }
    std::vector<std::string> errors() {
        std::lock_guard<std::mutex> lock(mutex_);
        return errors_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> errors_;
};

std::string Descriptor(const std::string& id, const std::string& version, const std::string& extra = "") {
    return "{\"path\": \"lib/probe.so\", \"id\": \"" + id + "\", \"type\": 1, \"version\": \"" + version +
           "\", \"command-recv\": [\"" PROBE_RECORD "\", \"" PROBE_VERSION "\", \"" PROBE_WHO_AM_I "\", \"" PROBE_BROADCAST_AS_ME
           "\"], \"command-send\": [\"" PROBE_RECORD "\"]" + extra + "}";
}

class PluginFolder : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("plugin_util_" + std::to_string(getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        google::AddLogSink(&errors_);
    }
    void TearDown() override {
        google::RemoveLogSink(&errors_);
        fs::remove_all(root_);
    }

    // Installs a version folder: its descriptor and, when given, a copy of a
    // probe library (a copy, so every test loads a fresh instance).
    void Install(const std::string& module, const std::string& version, const std::string& descriptor,
                 const char* library) {
        const fs::path folder = root_ / module / version;
        fs::create_directories(folder / "lib");
        std::ofstream(folder / "plugin.load") << descriptor;
        if (library) fs::copy_file(library, folder / "lib/probe.so");
    }

    const ModuleRecord* Load(const std::string& module) {
        return plugin_util::LoadModule(Wide((root_ / module).string() + "/"));
    }

    static int64_t Version(const ModuleRecord* record) {
        ModuleCommand c{};
        c.command = PROBE_VERSION;
        c.target = record->instance;
        plugin_util::PostFromHost(&c);
        return c.number;
    }

    fs::path root_;
    ErrorCounter errors_;
};

TEST(VersionOrder, HighestFirstOthersInFoundOrder) {
    using V = std::vector<std::string>;
    EXPECT_EQ(plugin_util::OrderVersionCandidates(V{"1.0.0", "2.0.0", "1.5.0"}), (V{"2.0.0", "1.0.0", "1.5.0"}));
    EXPECT_EQ(plugin_util::OrderVersionCandidates(V{"1.0.0", "1.5.0", "2.0.0"}), (V{"2.0.0", "1.5.0", "1.0.0"}));
    // Equal versions: the one found later goes to the front.
    EXPECT_EQ(plugin_util::OrderVersionCandidates(V{"1.0", "1.0.0"}), (V{"1.0.0", "1.0"}));
    EXPECT_EQ(plugin_util::OrderVersionCandidates(V{"10.0.0", "9.9.9"}), (V{"10.0.0", "9.9.9"}));
    EXPECT_TRUE(plugin_util::OrderVersionCandidates(V{}).empty());
}

TEST_F(PluginFolder, NewestUsableVersionLoadsAfterAMalformedOne) {
    Install("alpha", "1.0.0", Descriptor("alpha", "1.0.0"), PROBE_ALPHA_100);
    Install("alpha", "1.5.0", Descriptor("alpha", "1.5.0"), PROBE_ALPHA_150);
    Install("alpha", "2.0.0", "{\"path\": \"lib/probe.so\", \"id\": ", PROBE_ALPHA_200);
    Install("alpha", "3.0.0-no-descriptor", "", nullptr);
    fs::remove(root_ / "alpha/3.0.0-no-descriptor/plugin.load");

    const ModuleRecord* record = Load("alpha");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->version, "1.5.0");
    EXPECT_EQ(Version(record), 150);
    ASSERT_EQ(errors_.errors().size(), 1u);
    EXPECT_NE(errors_.errors()[0].find("2.0.0/plugin.load"), std::string::npos);

    // Optional keys absent: empty lists, zero sizes, no create command.
    EXPECT_TRUE(record->requires.empty());
    EXPECT_TRUE(record->optionals.empty());
    EXPECT_EQ(record->width, 0);
    EXPECT_EQ(record->createCommand, "");
    EXPECT_EQ(record->receiveCommands.size(), 4u);
    EXPECT_EQ(plugin_util::FindModule("alpha"), record);

    // Loaded once: a second load finds the id taken and yields nothing.
    EXPECT_EQ(Load("alpha"), nullptr);
}

TEST_F(PluginFolder, DamagedDescriptorsAndLibrariesAreSkipped) {
    // Tried newest first; every one but 1.0.0 must be refused, none may crash.
    Install("delta", "7.0.0", "[1, 2, 3]", PROBE_ALPHA_200);
    Install("delta", "6.0.0", "{\"id\": \"delta\", \"type\": 1, \"version\": \"6\", \"command-recv\": [], \"command-send\": []}",
            PROBE_ALPHA_200);
    Install("delta", "5.0.0", Descriptor("delta", "5.0.0").replace(Descriptor("delta", "5.0.0").find("\"type\": 1"), 9, "\"type\": \"1\""),
            PROBE_ALPHA_200);
    Install("delta", "4.0.0",
            "{\"path\": \"lib/probe.so\", \"id\": \"delta\", \"type\": 1, \"version\": \"4\", \"command-recv\": [7], \"command-send\": []}",
            PROBE_ALPHA_200);
    Install("delta", "3.0.0", Descriptor("delta", "3.0.0"), nullptr);           // library missing
    Install("delta", "2.0.0", Descriptor("delta", "2.0.0"), PROBE_NO_ENTRY);    // no RegisterModule
    Install("delta", "1.0.0", Descriptor("delta", "1.0.0", ", \"width\": 640, \"height\": 480, \"require\": [\"x\"], \"command-create\": \"MAKE\""),
            PROBE_ALPHA_100);

    const ModuleRecord* record = Load("delta");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->version, "1.0.0");
    EXPECT_EQ(record->width, 640);
    EXPECT_EQ(record->height, 480);
    EXPECT_EQ(record->requires, std::vector<std::string>{"x"});
    EXPECT_EQ(record->createCommand, "MAKE");
    EXPECT_EQ(errors_.errors().size(), 4u);  // one per damaged descriptor
}

// A descriptor is data: its "path" must stay inside its own version folder,
// however it is spelt, and a module folder named with ".." is refused.
TEST_F(PluginFolder, LibrariesOutsideTheVersionFolderAreNeverLoaded) {
    fs::create_directories(root_ / "elsewhere");
    const fs::path outside = root_ / "elsewhere" / "evil.so";
    fs::copy_file(PROBE_GAMMA_100, outside);
    auto withPath = [](const std::string& path) {
        std::string d = Descriptor("evil", "1.0.0");
        return d.replace(d.find("lib/probe.so"), 12, path);
    };
    Install("evil", "4.0.0", withPath("../../elsewhere/evil.so"), nullptr);
    Install("evil", "3.0.0", withPath(outside.string()), nullptr);
    Install("evil", "2.0.0", withPath("lib/probe.so"), nullptr);
    fs::create_symlink(outside, root_ / "evil/2.0.0/lib/probe.so");  // a link inside, leading out
    Install("evil", "1.0.0", withPath("lib/../../../elsewhere/evil.so"), nullptr);

    std::string failure;
    EXPECT_EQ(plugin_util::LoadModule(Wide((root_ / "evil").string() + "/"), &failure), nullptr);
    // Not loaded, not even once: its constructors never ran.
    EXPECT_EQ(dlopen(outside.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
    EXPECT_EQ(plugin_util::FindModule("evil"), nullptr);
    // Each refusal names its descriptor, in the log and in the failure.
    const std::vector<std::string> errors = errors_.errors();
    ASSERT_EQ(errors.size(), 4u);
    for (const char* version : {"4.0.0", "3.0.0", "2.0.0", "1.0.0"}) {
        const std::string descriptor = std::string(version) + "/plugin.load";
        EXPECT_NE(failure.find(descriptor), std::string::npos) << failure;
        EXPECT_TRUE(std::any_of(errors.begin(), errors.end(),
                                [&](const std::string& e) { return e.find(descriptor) != std::string::npos; }))
            << descriptor;
    }

    // A module folder reached through ".." is refused before it is read.
    Install("good", "1.0.0", Descriptor("good", "1.0.0"), PROBE_ALPHA_100);
    EXPECT_EQ(plugin_util::LoadModule(Wide((root_ / "evil" / ".." / "good").string() + "/"), &failure), nullptr);
    EXPECT_NE(failure.find("\"..\""), std::string::npos) << failure;
    // The same folder named plainly loads, and a library in a sub-folder of
    // its version folder is its own.
    EXPECT_NE(Load("good"), nullptr);
}

TEST_F(PluginFolder, MissingFolderAndDuplicateIdYieldNothing) {
    EXPECT_EQ(Load("nowhere"), nullptr);
    Install("first", "1.0.0", Descriptor("shared-id", "1.0.0"), PROBE_ALPHA_100);
    Install("second", "1.0.0", Descriptor("shared-id", "1.0.0"), PROBE_BETA_100);
    ASSERT_NE(Load("first"), nullptr);
    EXPECT_EQ(Load("second"), nullptr);
    EXPECT_EQ(Version(plugin_util::FindModule("shared-id")), 100);
}

class Bus : public PluginFolder {
protected:
    void SetUp() override {
        PluginFolder::SetUp();
        Install("a", "1.0.0", Descriptor("bus-a", "1.0.0"), PROBE_ALPHA_100);
        Install("b", "1.0.0", Descriptor("bus-b", "1.0.0"), PROBE_BETA_100);
        Install("c", "1.0.0", Descriptor("bus-c", "1.0.0"), PROBE_GAMMA_100);
        a_ = Load("a");
        b_ = Load("b");
        c_ = Load("c");
        ASSERT_TRUE(a_ && b_ && c_);
    }

    static std::vector<std::string> Tags(const DeliveryLog& log) {
        std::vector<std::string> out;
        for (int i = 0; i < log.count.load() && i < 32; ++i) out.emplace_back(log.tags[i]);
        return out;
    }

    const ModuleRecord* a_ = nullptr;
    const ModuleRecord* b_ = nullptr;
    const ModuleRecord* c_ = nullptr;
};

TEST_F(Bus, BroadcastTargetAndSenderRules) {
    using T = std::vector<std::string>;
    {
        DeliveryLog log;
        ModuleCommand c{};
        c.command = PROBE_RECORD;
        c.data = &log;
        plugin_util::PostFromHost(&c);
        EXPECT_EQ(Tags(log), (T{"alpha-100", "beta-100", "gamma-100"}));  // subscription order
    }
    {
        // Module a broadcasts: everyone but a.
        DeliveryLog log;
        ModuleCommand c{};
        c.command = PROBE_BROADCAST_AS_ME;
        c.data = &log;
        c.target = a_->instance;
        plugin_util::PostFromHost(&c);
        EXPECT_EQ(Tags(log), (T{"beta-100", "gamma-100"}));
    }
    {
        // Targeted at c: only c, though a and b come first in the list.
        DeliveryLog log;
        ModuleCommand c{};
        c.command = PROBE_RECORD;
        c.data = &log;
        c.target = c_->instance;
        plugin_util::PostFromHost(&c);
        EXPECT_EQ(Tags(log), (T{"gamma-100"}));
    }
    {
        DeliveryLog log;
        ModuleCommand c{};
        c.command = PROBE_RECORD;
        c.data = &log;
        plugin_util::PostCommand(&c);  // no sender
        EXPECT_TRUE(Tags(log).empty());
    }
    {
        ModuleCommand c{};
        c.command = "NOBODY_LISTENS";
        c.number = 42;
        plugin_util::PostFromHost(&c);
        EXPECT_EQ(c.number, 42);
    }
}

std::atomic<int> lateDeliveries{0};
std::atomic<int> reentrantDeliveries{0};

int32_t LateHandler(ModuleCommand*) {
    lateDeliveries.fetch_add(1);
    return 0;
}

int32_t ReentrantHandler(ModuleCommand* command) {
    if (command->number == 0) {
        // Subscribing and posting from inside a delivery must neither deadlock
        // nor hand the record being delivered to the new subscriber.
        plugin_util::SubscribeHandler("REENTRANT", &LateHandler);
        ModuleCommand inner{};
        inner.command = "REENTRANT";
        inner.number = 1;
        inner.sender = command->data;  // a module's instance: host handlers receive it
        plugin_util::PostCommand(&inner);
        ModuleCommand toModule{};
        toModule.command = PROBE_VERSION;
        toModule.sender = command->data;  // any sender other than the host's own
        plugin_util::PostCommand(&toModule);
        command->total = toModule.number;
    }
    reentrantDeliveries.fetch_add(1);
    return 0;
}

TEST_F(Bus, ReceiverMayPostAndSubscribeDuringDelivery) {
    plugin_util::SubscribeHandler("REENTRANT", &ReentrantHandler);
    ModuleCommand c{};
    c.command = "REENTRANT";
    c.sender = a_->instance;
    c.data = a_->instance;
    plugin_util::PostCommand(&c);
    // The inner post reached the first handler (skipped again at number 1)
    // and the late one; the outer record never reached the late one.
    EXPECT_EQ(reentrantDeliveries.load(), 2);
    EXPECT_EQ(lateDeliveries.load(), 1);
    EXPECT_EQ(c.total, 100);  // b and c answer too; the last writer is c (100)
}

std::atomic<int64_t> counted{0};
int32_t CountingHandler(ModuleCommand* command) {
    counted.fetch_add(command->number);
    return 0;
}

TEST_F(Bus, PostsFromManyThreadsAtOnce) {
    plugin_util::SubscribeHandler("COUNT", &CountingHandler);
    constexpr int kThreads = 8, kPosts = 2000;
    std::vector<std::thread> threads;
    std::atomic<int> versionsSeen{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPosts; ++i) {
                ModuleCommand c{};
                c.command = "COUNT";
                c.number = 1;
                c.sender = b_->instance;
                plugin_util::PostCommand(&c);
                if (i % 100 == 0) {
                    // Subscriptions grow while others post.
                    plugin_util::SubscribeHandler(("GROW" + std::to_string(t)).c_str(), &CountingHandler);
                    ModuleCommand v{};
                    v.command = PROBE_VERSION;
                    v.target = a_->instance;
                    v.sender = c_->instance;
                    plugin_util::PostCommand(&v);
                    if (v.number == 100) versionsSeen.fetch_add(1);
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counted.load(), int64_t{kThreads} * kPosts);
    EXPECT_EQ(versionsSeen.load(), kThreads * (kPosts / 100));
}

TEST(HostModule, RegisteredAsTypeTwoWithTheHostInstance) {
    const ModuleRecord* record = plugin_util::RegisterHostModule("Product");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->type, 2);
    EXPECT_EQ(record->instance, plugin_util::HostInstance());
    EXPECT_EQ(plugin_util::FindModule("Product"), record);
    EXPECT_EQ(plugin_util::FindModule("Missing"), nullptr);
}

TEST(AddinProgram, NewestNumberedFolderWithItsProgram) {
    const fs::path suite = fs::temp_directory_path() / ("suite_" + std::to_string(getpid()));
    fs::remove_all(suite);
    auto make = [&](const std::string& version, bool withProgram) {
        const fs::path bin = suite / "Addins/tool" / version / "Bin";
        fs::create_directories(bin);
        if (withProgram) std::ofstream(bin / "tool") << "x";
    };
    make("1.2.3", true);
    make("1.10.0", true);
    make("1.2", true);          // not three numbers
    make("1.2.3-beta", true);   // more than the pattern
    make("2.0.0", false);       // no program under Bin/
    make("0.9.9", true);
    plugin_util::SetSuiteFile(Wide((suite / "Preferences.json").string()));
    std::vector<std::u16string> others;
    const std::u16string best = plugin_util::FindNewestAddinProgram(u"tool", others);
    EXPECT_EQ(best, Wide((suite / "Addins/tool/1.10.0").string()));
    // Found in name order: 0.9.9, 1.10.0, 1.2.3.
    EXPECT_EQ(others, (std::vector<std::u16string>{Wide((suite / "Addins/tool/0.9.9").string()),
                                                  Wide((suite / "Addins/tool/1.2.3").string())}));
    fs::remove_all(suite);
}

}  // namespace
