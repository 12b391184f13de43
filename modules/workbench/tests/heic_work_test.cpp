// HeicWork against the stand-in photo module, through the real loader and
// bus: the reply streams, the end of the tasks, and stopping.
#include "fake_photo_protocol.h"
#include "loaded_modules.h"
#include "plugin_util.h"
#include "work/heic_work.h"

#include <bedrock/vo_task_schedular.h>
#include <pixbridge/command_names.h>

#include <glog/logging.h>
#include <gtest/gtest.h>

#include <QImage>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct ThumbnailCall {
    bool hasImage = false;
    QSize imageSize;
    std::u16string path;
    int32_t kind = 0, width = 0, height = 0, index = 0, total = 0;
};
struct ConvertCall {
    std::u16string path;
    int32_t status = 0, kind = 0;
};

// Collects callbacks from whatever thread they come on.
template <typename Call>
class Calls {
public:
    void Add(Call call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::vector<Call> Get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    size_t CountKind(int32_t kind) const {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (const Call& c : calls_) n += c.kind == kind;
        return n;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

HeicWork::ThumbnailCallback Collect(Calls<ThumbnailCall>& calls) {
    return [&calls](std::shared_ptr<QImage> image, const std::u16string& path, int32_t kind, int32_t width,
                    int32_t height, int32_t index, int32_t total) {
        calls.Add({image != nullptr, image ? image->size() : QSize(), path, kind, width, height, index, total});
    };
}

HeicWork::ConvertCallback Collect(Calls<ConvertCall>& calls) {
    return [&calls](const std::u16string& path, int32_t status, int32_t kind) { calls.Add({path, status, kind}); };
}

// The fake's end-of-task broadcasts: event id -> files worked on.
std::mutex doneMutex;
std::map<std::string, int64_t> doneTasks;
int32_t RecordDone(ModuleCommand* c) {
    std::lock_guard<std::mutex> lock(doneMutex);
    doneTasks[c->id ? c->id : ""] = c->current;
    return 0;
}
bool FakeDone(const std::string& remote, int64_t* worked = nullptr) {
    std::lock_guard<std::mutex> lock(doneMutex);
    auto it = doneTasks.find(remote);
    if (it == doneTasks.end()) return false;
    if (worked) *worked = it->second;
    return true;
}

class LogLines : public google::LogSink {
public:
    void send(google::LogSeverity, const char*, const char*, int, const google::LogMessageTime&, const char* message,
              size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.emplace_back(message, length);
    }
    bool Has(const std::string& line) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::string& l : lines_) {
            if (l == line) return true;
        }
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

bool Registered(const std::string& id) { return VoTaskSchedular::Get()->FindTask(id) != nullptr; }

std::string Request(const std::vector<std::string>& paths, int delayMs = 0, bool silent = false) {
    std::string json = "{\"heic_array\": [";
    for (size_t i = 0; i < paths.size(); ++i) json += (i ? ", \"" : "\"") + paths[i] + "\"";
    json += "], \"image_size\": 60, \"format\": 0, \"quality\": 90, \"keep_exif_data\": 1, \"output_dir\": \"/tmp/\"";
    if (delayMs) json += ", \"fake_delay_ms\": " + std::to_string(delayMs);
    if (silent) json += ", \"fake_silent\": true";
    return json + "}";
}

class HeicWorkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plugin_util::SubscribeHandler(FAKE_PHOTO_TASK_DONE, &RecordDone);
    }
    void SetUp() override {
        ASSERT_NE(Modules().workbench, nullptr);
        ASSERT_NE(Modules().fakePhoto, nullptr);
    }
};

TEST_F(HeicWorkTest, ThumbnailRepliesArriveInOrderAndTheTaskFinishes) {
    LogLines log;
    google::AddLogSink(&log);
    Calls<ThumbnailCall> calls;
    HeicWork work(WorkbenchBus());
    const std::string eventId = work.QueryThumbnails(Collect(calls), Request({"/in/a.heic", "/in/b.heic", "/in/c.heic"}));
    ASSERT_FALSE(eventId.empty());
    EXPECT_EQ(work.LastEventId(), eventId);

    ASSERT_TRUE(WaitUntil([&] { return calls.CountKind(1) == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return !Registered(eventId); })) << "the event never finished";
    const std::vector<ThumbnailCall> got = calls.Get();
    ASSERT_EQ(got.size(), 4u);
    const char16_t* paths[] = {u"/in/a.heic", u"/in/b.heic", u"/in/c.heic"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].kind, 2);
        EXPECT_EQ(got[i].path, paths[i]);
        EXPECT_EQ(got[i].index, i + 1);
        EXPECT_EQ(got[i].total, 3);
        EXPECT_EQ(got[i].width, 4032);
        EXPECT_EQ(got[i].height, 3024);
        EXPECT_TRUE(got[i].hasImage);
        EXPECT_EQ(got[i].imageSize, QSize(4, 3));
    }
    EXPECT_EQ(got[3].kind, 1);
    EXPECT_TRUE(got[3].path.empty());
    EXPECT_FALSE(got[3].hasImage);

    // The photo module may answer everything before the post that carried
    // the request has returned with its event id.
    EXPECT_TRUE(WaitUntil([&] { return !work.RemoteTaskId().empty(); }));
    EXPECT_NE(work.RemoteTaskId(), eventId);
    EXPECT_TRUE(WaitUntil([&] { return log.Has("DoCommonEventFinish: " + eventId); }));
    google::RemoveLogSink(&log);
}

TEST_F(HeicWorkTest, ConversionRepliesReportEveryFileThenTheEnd) {
    Calls<ConvertCall> calls;
    HeicWork work(WorkbenchBus());
    const std::string eventId =
        work.ConvertPhotos(Collect(calls), Request({"/in/one.heic", "/in/broken.heic", "/in/three.heic"}));
    ASSERT_TRUE(WaitUntil([&] { return calls.CountKind(1) == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return !Registered(eventId); }));
    const std::vector<ConvertCall> got = calls.Get();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].path, u"/in/one.heic");
    EXPECT_EQ(got[0].status, 1);
    EXPECT_EQ(got[1].status, 6);
    EXPECT_EQ(got[2].status, 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(got[i].kind, 2);
    EXPECT_EQ(got[3].kind, 1);
    EXPECT_EQ(got[3].status, 0);
}

TEST_F(HeicWorkTest, StopAfterANewRequestStopsOnlyTheNewerOne) {
    Calls<ThumbnailCall> calls;
    HeicWork work(WorkbenchBus());
    const std::string older = work.QueryThumbnails(Collect(calls), Request({"/old/1.heic", "/old/2.heic", "/old/3.heic"}, 400));
    ASSERT_TRUE(WaitUntil([&] { return !work.RemoteTaskId().empty(); }));
    const std::string olderRemote = work.RemoteTaskId();

    const std::string newer = work.QueryThumbnails(Collect(calls), Request({"/new/1.heic", "/new/2.heic", "/new/3.heic"}, 30));
    EXPECT_NE(newer, older);
    EXPECT_EQ(work.LastEventId(), newer);
    // The newer request is under way once its first photo has come back.
    ASSERT_TRUE(WaitUntil([&] {
        for (const ThumbnailCall& c : calls.Get()) {
            if (c.path == u"/new/1.heic") return true;
        }
        return false;
    }));
    ASSERT_TRUE(WaitUntil([&] { return !work.RemoteTaskId().empty(); }));
    const std::string newerRemote = work.RemoteTaskId();
    EXPECT_NE(newerRemote, olderRemote);

    ASSERT_TRUE(Registered(older)) << "the older request ended too early for this test";
    work.Stop();
    EXPECT_FALSE(Registered(newer));
    EXPECT_FALSE(Registered(newerRemote));
    EXPECT_TRUE(Registered(older));

    // The older request goes on to its end; the newer one's remaining
    // replies find no task and are dropped.
    ASSERT_TRUE(WaitUntil([&] { return FakeDone(olderRemote) && FakeDone(newerRemote); }));
    ASSERT_TRUE(WaitUntil([&] { return !Registered(older); }));
    size_t fromNewer = 0, fromOlder = 0;
    for (const ThumbnailCall& c : calls.Get()) {
        if (c.kind != 2) continue;
        (c.path.rfind(u"/new/", 0) == 0 ? fromNewer : fromOlder) += 1;
    }
    EXPECT_EQ(fromOlder, 3u);
    EXPECT_LT(fromNewer, 3u);
    EXPECT_EQ(calls.CountKind(1), 1u);
}

TEST_F(HeicWorkTest, StopWhileConvertingEndsBothSidesBeforeTheNextFile) {
    Calls<ConvertCall> calls;
    HeicWork work(WorkbenchBus());
    const std::string eventId = work.ConvertPhotos(
        Collect(calls), Request({"/in/1.heic", "/in/2.heic", "/in/3.heic", "/in/4.heic", "/in/5.heic"}, 250));
    ASSERT_TRUE(WaitUntil([&] { return calls.CountKind(2) >= 1 && !work.RemoteTaskId().empty(); }));
    const std::string remote = work.RemoteTaskId();
    work.Stop();
    EXPECT_FALSE(Registered(eventId));
    EXPECT_FALSE(Registered(remote));

    int64_t worked = 0;
    ASSERT_TRUE(WaitUntil([&] { return FakeDone(remote, &worked); }));
    EXPECT_LE(worked, 2);  // the file in hand is finished, no further one is started
    EXPECT_EQ(calls.CountKind(2), 1u);
    EXPECT_EQ(calls.CountKind(1), 0u);  // the end reply came after the stop and was dropped
    work.Stop();                        // stopping what has ended does nothing
}

TEST_F(HeicWorkTest, StopWhileThePhotoModuleIsSilentEndsTheWait) {
    Calls<ConvertCall> calls;
    HeicWork work(WorkbenchBus());
    const std::string eventId = work.ConvertPhotos(Collect(calls), Request({"/in/1.heic"}, 0, /*silent=*/true));
    ASSERT_TRUE(WaitUntil([&] { return !work.RemoteTaskId().empty(); }));
    const std::string remote = work.RemoteTaskId();
    EXPECT_TRUE(Registered(eventId));
    EXPECT_TRUE(Registered(remote));
    work.Stop();
    EXPECT_FALSE(Registered(eventId));
    EXPECT_FALSE(Registered(remote));
    EXPECT_TRUE(calls.Get().empty());
}

// A bus that holds the request back until the test lets it go, and one that
// reaches nobody.
std::mutex gateMutex;
std::condition_variable gateChanged;
bool requestWaiting = false;
bool requestReleased = false;
std::atomic<int> unansweredPosts{0};
void GatedPost(ModuleCommand* c) {
    {
        std::unique_lock<std::mutex> lock(gateMutex);
        requestWaiting = true;
        gateChanged.notify_all();
        gateChanged.wait(lock, [] { return requestReleased; });
    }
    plugin_util::PostCommand(c);
}
void PostToNobody(ModuleCommand*) { ++unansweredPosts; }

TEST_F(HeicWorkTest, AStopThatComesWhileTheRequestIsOnItsWayStopsThePhotoModuleToo) {
    Calls<ConvertCall> calls;
    HeicWork work(ModuleBus{&GatedPost, Modules().workbench});
    const std::string eventId = work.ConvertPhotos(Collect(calls), Request({"/in/1.heic"}, 0, /*silent=*/true));
    {
        std::unique_lock<std::mutex> lock(gateMutex);
        ASSERT_TRUE(gateChanged.wait_for(lock, std::chrono::seconds(20), [] { return requestWaiting; }));
    }
    work.Stop();  // the photo module has not seen the request yet
    EXPECT_FALSE(Registered(eventId));
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        requestReleased = true;
        gateChanged.notify_all();
    }
    ASSERT_TRUE(WaitUntil([&] { return !work.RemoteTaskId().empty(); }));
    // The send step saw its task stopped and stopped the photo module's
    // event, which would otherwise wait forever.
    EXPECT_TRUE(WaitUntil([&] { return !Registered(work.RemoteTaskId()); }));
}

TEST_F(HeicWorkTest, ARequestThatNobodyTakesWaitsUntilStopped) {
    Calls<ThumbnailCall> calls;
    HeicWork work(ModuleBus{&PostToNobody, Modules().workbench});
    const std::string eventId = work.QueryThumbnails(Collect(calls), Request({"/in/1.heic"}));
    ASSERT_TRUE(WaitUntil([&] { return unansweredPosts.load() == 1; }));
    EXPECT_TRUE(work.RemoteTaskId().empty());
    EXPECT_TRUE(Registered(eventId));
    work.Stop();
    EXPECT_FALSE(Registered(eventId));
}

TEST_F(HeicWorkTest, DestroyingTheWorkWithRepliesInFlightIsSafe) {
    std::string remote;
    std::atomic<int> calls{0};
    {
        HeicWork work(WorkbenchBus());
        work.QueryThumbnails([&](std::shared_ptr<QImage>, const std::u16string&, int32_t, int32_t, int32_t, int32_t,
                                 int32_t) { ++calls; },
                             Request({"/in/1.heic", "/in/2.heic", "/in/3.heic"}, 40));
        ASSERT_TRUE(WaitUntil([&] { return calls.load() >= 1 && !work.RemoteTaskId().empty(); }));
        remote = work.RemoteTaskId();
    }
    const int seen = calls.load();
    // The thumbnail task runs to its end; its replies find no task and their
    // images are released by the delivery.
    ASSERT_TRUE(WaitUntil([&] { return FakeDone(remote); }));
    EXPECT_EQ(calls.load(), seen);
}

}  // namespace
