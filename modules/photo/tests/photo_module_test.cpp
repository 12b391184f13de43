// Module.Photo on the real bus: the messages of a conversion and of a
// thumbnail request, in order, for good, bad and stopped batches.
#include "plugin_util.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <bedrock/vo_task_schedular.h>
#include <pixbridge/command_names.h>
#include <pixbridge/photo_results.h>

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kPhotos = PIXBRIDGE_PHOTOS_DIR;

std::string Narrow(const char16_t* s) { return s ? BASUtilityString::Utf16ToUtf8(s) : std::string(); }

// Everything the module sent, as lines: "start 0/3 a.heic", "reply 1 /x/a.heic",
// "done 1/3 fail=0", "end", "finish", "thumb 1/3 64x64 /x/a.heic", "thumb-end".
struct Transcript {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> lines;
    std::function<void(const ModuleCommand*)> onProgress;

    void Add(std::string line) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(std::move(line));
        changed.notify_all();
    }
    bool WaitFor(const std::string& last, std::chrono::seconds timeout = 120s) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return !lines.empty() && lines.back() == last; });
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }
};

Transcript* transcript = nullptr;

int32_t OnProgress(ModuleCommand* c) {
    const std::string name = Narrow(static_cast<const char16_t*>(c->result));
    if (!c->wideText) {
        transcript->Add("start " + std::to_string(c->current) + "/" + std::to_string(c->total) + " " + name);
        if (transcript->onProgress) transcript->onProgress(c);
    } else {
        transcript->Add("done " + std::to_string(c->current) + "/" + std::to_string(c->total) +
                        " fail=" + std::to_string(c->number));
    }
    return 0;
}

int32_t OnFinish(ModuleCommand*) {
    transcript->Add("finish");
    return 0;
}

int32_t OnConvertReply(ModuleCommand* c) {
    if (c->kind != kModuleCommandReply) return 0;
    EXPECT_STREQ(c->id, "requester-7");
    const auto* r = static_cast<const ConvertResult*>(c->data);
    if (r->resultKind == kPhotoResultEnd) {
        EXPECT_EQ(r->status, 0);
        transcript->Add("end");
    } else {
        transcript->Add("reply " + std::to_string(r->status) + " " + BASUtilityString::Utf16ToUtf8(r->sourcePath));
    }
    return 0;
}

int32_t OnThumbnailReply(ModuleCommand* c) {
    const auto* r = static_cast<const ThumbnailResult*>(c->data);
    if (r->resultKind == kPhotoResultEnd) {
        EXPECT_EQ(r->image, nullptr);
        transcript->Add("thumb-end");
        return 0;
    }
    EXPECT_NE(r->image, nullptr);
    std::string size = "null";
    if (r->image) {
        size = std::to_string(r->image->width()) + "x" + std::to_string(r->image->height());
        delete r->image;  // ownership came with the reply
    }
    transcript->Add("thumb " + std::to_string(r->photoIndex) + "/" + std::to_string(r->photoCount) + " " +
                    std::to_string(r->imageWidth) + "x" + std::to_string(r->imageHeight) + " img " + size + " " +
                    BASUtilityString::Utf16ToUtf8(r->sourcePath));
    return 0;
}

class PhotoModule : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        transcript = new Transcript();
        // One worker, so a test can hold it with a gate and look the event up
        // before the task runs.
        VoTaskPool::Get()->Activate(1);
        ASSERT_NE(plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16(std::string(PIXBRIDGE_APP_DIR) + "/Plugins/Module.Photo/")), nullptr);
        plugin_util::SubscribeHandler(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, &OnProgress);
        plugin_util::SubscribeHandler(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH, &OnFinish);
        plugin_util::SubscribeHandler(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, &OnConvertReply);
        plugin_util::SubscribeHandler(LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL, &OnThumbnailReply);
    }

    void SetUp() override {
        {
            std::lock_guard<std::mutex> lock(transcript->mutex);
            transcript->lines.clear();
        }
        transcript->onProgress = nullptr;
        out_ = fs::temp_directory_path() / ("photo_module_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(out_);
        fs::create_directories(out_);
    }
    void TearDown() override { fs::remove_all(out_); }

    // Posts a request while the only worker is held, so the event is found
    // before it can end; returns the event.
    std::shared_ptr<VoTask> Post(const char* command, const std::string& json) {
        std::promise<void> gate;
        std::shared_future<void> opened = gate.get_future().share();
        VoTaskPool::Get()->Enqueue([opened] { opened.wait(); });
        char id[] = "requester-7";
        ModuleCommand c{};
        c.command = command;
        c.id = id;
        c.data = const_cast<char*>(json.c_str());
        c.dataSize = static_cast<int32_t>(json.size());
        plugin_util::PostFromHost(&c);
        EXPECT_NE(c.id, id);  // replaced by the event's id, ours untouched
        EXPECT_STREQ(id, "requester-7");
        std::shared_ptr<VoTask> event = VoTaskSchedular::Get()->FindTask(c.id);
        free(c.id);
        gate.set_value();
        return event;
    }

    static VoTaskStatus1 WaitEnded(const std::shared_ptr<VoTask>& event) {
        const auto deadline = std::chrono::steady_clock::now() + 120s;
        while (!event->IsEnded() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
        return event->GetStatus();
    }

    std::string Convert(const std::vector<std::string>& paths, int format = 0, const std::string& outDir = "") {
        std::string json = "{\"heic_array\": [";
        for (size_t i = 0; i < paths.size(); ++i) json += (i ? ", \"" : "\"") + paths[i] + "\"";
        json += "], \"output_dir\": \"" + (outDir.empty() ? out_.string() + "/" : outDir) + "\", \"format\": " +
                std::to_string(format) + ", \"quality\": 85, \"keep_exif_data\": 1, \"device_id\": \"x\"}";
        return json;
    }

    fs::path out_;
};

const std::string kGood = kPhotos + "/lh_colors-no-alpha.heic";
const std::string kGood2 = kPhotos + "/ph_RGB_8__128x128.heif";
const std::string kBroken = kPhotos + "/ph_corrupted.heic";

TEST_F(PhotoModule, FirstOfThreeFailsAndTheMessagesKeepTheOneAtATimeOrder) {
    auto event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, Convert({kBroken, kGood, kGood2}));
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(transcript->WaitFor("finish"));
    EXPECT_EQ(WaitEnded(event), VoTaskStatusFinished);
    // The files overlap inside the module, yet each file's start, reply and
    // file-done go out together, as a one-at-a-time run sends them: the
    // failed first file is answered before the second one starts.
    const std::vector<std::string> want = {
        "start 0/3 ph_corrupted.heic",      "reply 6 " + kBroken, "done 1/3 fail=1",
        "start 1/3 lh_colors-no-alpha.heic", "reply 1 " + kGood,   "done 2/3 fail=0",
        "start 2/3 ph_RGB_8__128x128.heif",  "reply 1 " + kGood2,  "done 3/3 fail=0",
        "end",                               "finish"};
    EXPECT_EQ(transcript->Lines(), want);
    EXPECT_TRUE(fs::exists(out_ / "lh_colors-no-alpha.JPG"));
    EXPECT_TRUE(fs::exists(out_ / "ph_RGB_8__128x128.JPG"));
    EXPECT_FALSE(fs::exists(out_ / "ph_corrupted.JPG"));
}

TEST_F(PhotoModule, EntriesWithoutFolderOrDotAreSkippedSilently) {
    fs::copy_file(kGood, out_ / "noext");
    fs::create_directories(out_ / "png");
    auto event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE,
                      Convert({(out_ / "noext").string(), "IMG_0003.HEIC", kGood}, 2, (out_ / "png").string() + "/"));
    ASSERT_TRUE(transcript->WaitFor("finish"));
    EXPECT_EQ(WaitEnded(event), VoTaskStatusFinished);
    // Positions count entries, not converted files.
    EXPECT_EQ(transcript->Lines(), (std::vector<std::string>{"start 2/3 lh_colors-no-alpha.heic", "reply 1 " + kGood,
                                                             "done 3/3 fail=0", "end", "finish"}));
    EXPECT_TRUE(fs::exists(out_ / "png/lh_colors-no-alpha.PNG"));
}

TEST_F(PhotoModule, ExistingOutputIsKeptAndAFreeNameUsed) {
    std::ofstream(out_ / "lh_colors-no-alpha.JPG") << "precious";
    auto event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, Convert({kGood}));
    ASSERT_TRUE(transcript->WaitFor("finish"));
    WaitEnded(event);
    std::ifstream kept(out_ / "lh_colors-no-alpha.JPG");
    std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "precious");
    EXPECT_TRUE(fs::exists(out_ / "lh_colors-no-alpha (1).JPG"));
}

TEST_F(PhotoModule, EmptyMalformedAndIncompleteRequests) {
    auto empty = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, Convert({}));
    ASSERT_TRUE(transcript->WaitFor("finish"));
    EXPECT_EQ(WaitEnded(empty), VoTaskStatusFinished);
    EXPECT_EQ(transcript->Lines(), (std::vector<std::string>{"end", "finish"}));

    for (const char* bad : {"{\"heic_array\": [", "{\"heic_array\": \"x\", \"output_dir\": \"/tmp/\", \"format\": 0}",
                            "{\"output_dir\": \"/tmp/\", \"format\": 0}", "[1]"}) {
        {
            std::lock_guard<std::mutex> lock(transcript->mutex);
            transcript->lines.clear();
        }
        auto event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, bad);
        ASSERT_TRUE(transcript->WaitFor("finish")) << bad;
        EXPECT_EQ(WaitEnded(event), VoTaskStatusFailed) << bad;
        EXPECT_EQ(transcript->Lines(), (std::vector<std::string>{"end", "finish"})) << bad;
    }
}

TEST_F(PhotoModule, MaxEdgeShrinksAndASizeOutOfRangeConvertsNothing) {
    const std::string request = Convert({kGood2});
    auto withMaxEdge = [&](const std::string& value) {
        return request.substr(0, request.size() - 1) + ", \"max_edge\": " + value + "}";
    };
    for (const char* bad : {"-1", "15", "65536", "\"64\"", "64.5", "null"}) {
        {
            std::lock_guard<std::mutex> lock(transcript->mutex);
            transcript->lines.clear();
        }
        auto event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, withMaxEdge(bad));
        ASSERT_TRUE(transcript->WaitFor("finish")) << bad;
        EXPECT_EQ(WaitEnded(event), VoTaskStatusFailed) << bad;
        EXPECT_EQ(transcript->Lines(), (std::vector<std::string>{"end", "finish"})) << bad;
    }
    EXPECT_TRUE(fs::is_empty(out_));

    auto event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, withMaxEdge("64"));
    EXPECT_EQ(WaitEnded(event), VoTaskStatusFinished);
    EXPECT_EQ(QImage(QString::fromStdString((out_ / "ph_RGB_8__128x128.JPG").string())).size(), QSize(64, 64));
}

TEST_F(PhotoModule, AStopFinishesTheFilesUnderWayInOrderAndStartsNoMore) {
    // Phone photos, so the stop lands while the files behind are still decoding.
    const std::string big1 = kPhotos + "/tifig_2_landscape.heic";
    const std::string big2 = kPhotos + "/tifig_4_city.heic";
    std::shared_ptr<VoTask> event;
    std::mutex eventMutex;
    transcript->onProgress = [&](const ModuleCommand* c) {
        if (c->current != 1) return;
        std::lock_guard<std::mutex> lock(eventMutex);
        VoTaskSchedular::Get()->StopTaskEvent(event->GetTaskId());
    };
    {
        std::lock_guard<std::mutex> lock(eventMutex);
        event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, Convert({big1, big2, kGood, kGood2, kBroken}));
    }
    ASSERT_TRUE(transcript->WaitFor("finish"));
    // Stopped as the second file became the one waited for: it and the two
    // already decoding behind it finish, each reported in full; the fifth
    // never starts.
    const std::vector<std::string> want = {
        "start 0/5 tifig_2_landscape.heic", "reply 1 " + big1,  "done 1/5 fail=0",
        "start 1/5 tifig_4_city.heic",      "reply 1 " + big2,  "done 2/5 fail=0",
        "start 2/5 lh_colors-no-alpha.heic", "reply 1 " + kGood, "done 3/5 fail=0",
        "start 3/5 ph_RGB_8__128x128.heif",  "reply 1 " + kGood2, "done 4/5 fail=0",
        "end",                               "finish"};
    EXPECT_EQ(transcript->Lines(), want);
    EXPECT_EQ(event->GetStatus(), VoTaskStatusStopped);
    // Exactly the four files, each complete; no partial or temporary file.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out_)) {
        names.push_back(e.path().filename().string());
        std::ifstream in(e.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 4u);
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8") << e.path();
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9") << e.path();
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"lh_colors-no-alpha.JPG", "ph_RGB_8__128x128.JPG", "tifig_2_landscape.JPG",
                                               "tifig_4_city.JPG"}));
}

// Batches of good, broken and skipped entries, stopped at a random file or
// not at all: the messages are always those of a one-at-a-time run, and a
// stop reaches exactly the files the codec already had.
TEST_F(PhotoModule, RandomBatchesKeepTheOneAtATimeOrder) {
    uint32_t seed = 20240610;
    if (const char* given = getenv("PIXBRIDGE_TEST_SEED")) seed = static_cast<uint32_t>(strtoul(given, nullptr, 10));
    std::cout << "seed " << seed << " (PIXBRIDGE_TEST_SEED to repeat)" << std::endl;
    std::mt19937 random(seed);
    fs::copy_file(kGood, out_ / "noext");
    const std::vector<std::string> pool = {kGood, kGood2, kBroken, (out_ / "noext").string(), "IMG_0003.HEIC"};
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::string> entries;
        const size_t count = 2 + random() % 9;
        for (size_t i = 0; i < count; ++i) entries.push_back(pool[random() % pool.size()]);
        std::vector<size_t> convertible;
        for (size_t i = 0; i < count; ++i) {
            if (entries[i] == kGood || entries[i] == kGood2 || entries[i] == kBroken) convertible.push_back(i);
        }
        // Stop as the k-th convertible file becomes the one waited for, or never.
        const size_t stopAt = random() % (convertible.size() + 1);
        std::shared_ptr<VoTask> event;
        std::mutex eventMutex;
        {
            std::lock_guard<std::mutex> lock(transcript->mutex);
            transcript->lines.clear();
        }
        transcript->onProgress = [&](const ModuleCommand* c) {
            if (stopAt >= convertible.size() || c->current != static_cast<int64_t>(convertible[stopAt])) return;
            std::lock_guard<std::mutex> lock(eventMutex);
            VoTaskSchedular::Get()->StopTaskEvent(event->GetTaskId());
        };
        {
            std::lock_guard<std::mutex> lock(eventMutex);
            fs::create_directories(out_ / std::to_string(round));
            event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, Convert(entries, 0, (out_ / std::to_string(round)).string() + "/"));
        }
        ASSERT_TRUE(transcript->WaitFor("finish"));
        WaitEnded(event);
        transcript->onProgress = nullptr;

        // The files the codec held when the stop came finish: the one waited
        // for and up to kConversionsAtOnce - 1 behind it.
        const size_t reported = stopAt >= convertible.size() ? convertible.size()
                                                              : std::min(convertible.size(), stopAt + 3);
        std::vector<std::string> want;
        const std::string n = "/" + std::to_string(count);
        for (size_t k = 0; k < reported; ++k) {
            const size_t i = convertible[k];
            const bool broken = entries[i] == kBroken;
            want.push_back("start " + std::to_string(i) + n + " " + fs::path(entries[i]).filename().string());
            want.push_back("reply " + std::string(broken ? "6 " : "1 ") + entries[i]);
            want.push_back("done " + std::to_string(i + 1) + n + " fail=" + (broken ? "1" : "0"));
        }
        want.push_back("end");
        want.push_back("finish");
        EXPECT_EQ(transcript->Lines(), want);
    }
}

TEST_F(PhotoModule, ThumbnailsForThreeWithTheSecondFailing) {
    const std::string json = "{\"heic_array\": [\"" + kGood + "\", \"" + kBroken + "\", \"" + kPhotos +
                             "/tifig_1_portrait.heic\"], \"image_size\": 160}";
    auto event = Post(LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL, json);
    ASSERT_TRUE(transcript->WaitFor("thumb-end"));
    EXPECT_EQ(WaitEnded(event), VoTaskStatusFinished);
    const auto lines = transcript->Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "thumb 1/3 64x64 img 64x64 " + kGood);
    // The portrait photo: displayed size after rotation, thumbnail within 160.
    EXPECT_EQ(lines[1].rfind("thumb 3/3 3024x4032 img ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("x160 "), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "thumb-end");
    // Decoded without Qt's image-format plug-ins: loading them on a worker
    // of a process without a QGuiApplication ends in a double free at exit
    // (seen in the optimised build).
    std::ifstream maps("/proc/self/maps");
    const std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    EXPECT_EQ(mapped.find("/imageformats/"), std::string::npos);

    {
        std::lock_guard<std::mutex> lock(transcript->mutex);
        transcript->lines.clear();
    }
    auto bad = Post(LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL, "{\"heic_array\": 5}");
    ASSERT_TRUE(transcript->WaitFor("thumb-end"));
    EXPECT_EQ(WaitEnded(bad), VoTaskStatusFailed);
    EXPECT_EQ(transcript->Lines(), std::vector<std::string>{"thumb-end"});
}

// Output names: the folder is a folder with or without its "/", texts with
// NUL are refused, and a name taken at the last moment takes the next number.
TEST_F(PhotoModule, OutputFolderWithoutTrailingSeparatorIsStillTheFolder) {
    fs::create_directories(out_ / "out");
    auto event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, Convert({kGood}, 0, (out_ / "out").string()));
    ASSERT_TRUE(transcript->WaitFor("finish"));
    EXPECT_EQ(WaitEnded(event), VoTaskStatusFinished);
    EXPECT_EQ(transcript->Lines()[1], "reply 1 " + kGood);
    EXPECT_TRUE(fs::exists(out_ / "out/lh_colors-no-alpha.JPG"));
    EXPECT_FALSE(fs::exists(out_ / "outlh_colors-no-alpha.JPG"));  // never beside the folder
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(out_)) files += e.is_directory() ? 0 : 1;
    EXPECT_EQ(files, 0u);
}

TEST_F(PhotoModule, TextsWithNulAreRefused) {
    fs::create_directories(out_ / "out");
    // "<out>/out\u0000x/" would be cut to "<out>/out" at the file system.
    const std::string nulDir = Convert({kGood}, 0, (out_ / "out").string() + "\\u0000x/");
    auto event = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, nulDir);
    ASSERT_TRUE(transcript->WaitFor("finish"));
    EXPECT_EQ(WaitEnded(event), VoTaskStatusFailed);
    EXPECT_EQ(transcript->Lines(), (std::vector<std::string>{"end", "finish"}));

    {
        std::lock_guard<std::mutex> lock(transcript->mutex);
        transcript->lines.clear();
    }
    // An entry with a NUL names another file than it seems to: skipped.
    auto entry = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE,
                      Convert({kGood + "\\u0000.txt", kGood2}, 0, (out_ / "out").string() + "/"));
    ASSERT_TRUE(transcript->WaitFor("finish"));
    EXPECT_EQ(WaitEnded(entry), VoTaskStatusFinished);
    EXPECT_EQ(transcript->Lines(), (std::vector<std::string>{"start 1/2 ph_RGB_8__128x128.heif", "reply 1 " + kGood2,
                                                             "done 2/2 fail=0", "end", "finish"}));
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(out_)) names.push_back(e.path().lexically_relative(out_).string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"out", "out/ph_RGB_8__128x128.JPG"}));

    // A relative or empty folder would depend on the working folder.
    for (const char* dir : {"", "relative/"}) {
        {
            std::lock_guard<std::mutex> lock(transcript->mutex);
            transcript->lines.clear();
        }
        std::string json = Convert({kGood});
        json.replace(json.find(out_.string() + "/"), out_.string().size() + 1, dir);
        auto bad = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, json);
        ASSERT_TRUE(transcript->WaitFor("finish"));
        EXPECT_EQ(WaitEnded(bad), VoTaskStatusFailed) << dir;
    }
}

TEST_F(PhotoModule, TwoParallelBatchesIntoOneFolderBothSucceed) {
    // Two workers, so both batches run at once and pick the same free names.
    // (Defined last: the tests above count on a single worker when the whole
    // program runs at once.)
    VoTaskPool::Get()->Activate(2);
    const std::vector<std::string> batch = {kGood, kGood2, kPhotos + "/ph_RGB_8__29x100.heif"};
    auto first = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, Convert(batch));
    auto second = Post(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, Convert(batch));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WaitEnded(first), VoTaskStatusFinished);
    EXPECT_EQ(WaitEnded(second), VoTaskStatusFinished);
    size_t converted = 0, failed = 0;
    for (const std::string& line : transcript->Lines()) {
        if (line.rfind("reply 1 ", 0) == 0) ++converted;
        if (line.rfind("reply ", 0) == 0 && line.rfind("reply 1 ", 0) != 0) ++failed;
    }
    EXPECT_EQ(converted, 6u);
    EXPECT_EQ(failed, 0u);
    for (const char* stem : {"lh_colors-no-alpha", "ph_RGB_8__128x128", "ph_RGB_8__29x100"}) {
        EXPECT_TRUE(fs::exists(out_ / (std::string(stem) + ".JPG"))) << stem;
        EXPECT_TRUE(fs::exists(out_ / (std::string(stem) + " (1).JPG"))) << stem;
    }
}

}  // namespace
