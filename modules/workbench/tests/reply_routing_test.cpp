// The loaded workbench module's receive function: which records reach a
// waiting task, and what becomes of the ones that do not. Also the window
// commands as the host sends them.
#include "loaded_modules.h"
#include "plugin_util.h"
#include "work/photo_reply.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/vo_task_schedular.h>
#include <pixbridge/command_names.h>
#include <pixbridge/photo_results.h>

#include <gtest/gtest.h>

#include <QImage>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

namespace {

// A request task registered with the scheduler (never run) whose work
// function records what each delivery hands it.
struct WaitingTask {
    std::shared_ptr<VoTask> task = std::make_shared<VoTask>();
    std::shared_ptr<VoTaskPackage> package = std::make_shared<VoTaskPackage>();
    std::shared_ptr<VoTaskEvent> event = std::make_shared<VoTaskEvent>();
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::string> command = std::make_shared<std::string>();

    explicit WaitingTask(bool take = true) {
        task->SetTaskId(BASUtilityApp::GetTaskId());
        auto calls_ = calls;
        auto command_ = command;
        task->SetTaskFunc([calls_, command_, take](const std::shared_ptr<VoTask>& t) {
            ++*calls_;
            if (auto reply = t->GetTaskDataAs<PhotoReply>()) {
                *command_ = reply->command ? reply->command : "";
                if (take && strcmp(reply->command, LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL) == 0) {
                    reply->taken = true;
                    delete static_cast<ThumbnailResult*>(reply->result)->image;
                }
            }
        });
        auto packageCalls = calls;
        package->SetTaskFunc([packageCalls](const std::shared_ptr<VoTask>&) { *packageCalls += 100; });
        package->AddTask(task);
        package->SetTaskId(BASUtilityApp::GetTaskId());
        event->SetTaskId(BASUtilityApp::GetTaskId());
        event->AddPackage(package);
        VoTaskSchedular::Get()->RegisterTaskEvent(event);
    }
    ~WaitingTask() { VoTaskSchedular::Get()->StopTaskEvent(event->GetTaskId()); }
};

// An image whose pixel buffer reports its own release.
std::atomic<int> releasedImages{0};
void CountRelease(void* buffer) {
    ++releasedImages;
    delete[] static_cast<uchar*>(buffer);
}
QImage* CountedImage() {
    auto* pixels = new uchar[4 * 4 * 4]();
    return new QImage(pixels, 4, 4, QImage::Format_ARGB32, &CountRelease, pixels);
}

class ReplyRouting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Modules().workbench, nullptr) << "Module.Workbench did not load";
        releasedImages = 0;
    }

    // A reply as the photo module sends it, posted from the host.
    static void PostThumbnailReply(const std::string& id, int32_t kind, void* target, ThumbnailResult* result) {
        std::string idText = id;
        ModuleCommand c{};
        c.command = LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL;
        c.kind = kind;
        c.id = idText.data();
        c.data = result;
        c.target = target;
        plugin_util::PostFromHost(&c);
    }
};

TEST_F(ReplyRouting, ReplyAddressedToTheModuleRunsTheTaskOnceWithTheReply) {
    WaitingTask waiting;
    ThumbnailResult result;
    result.image = CountedImage();
    PostThumbnailReply(waiting.task->GetTaskId(), kModuleCommandReply, Modules().workbench, &result);
    EXPECT_EQ(waiting.calls->load(), 1);
    EXPECT_EQ(*waiting.command, LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL);
    EXPECT_EQ(releasedImages.load(), 1);  // released by the handler that took it, once
    // The reply was only lent to the task.
    EXPECT_EQ(waiting.task->GetTaskData(), nullptr);

    ConvertResult converted;
    std::string idText = waiting.task->GetTaskId();
    ModuleCommand c{};
    c.command = LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE;
    c.kind = kModuleCommandReply;
    c.id = idText.data();
    c.data = &converted;
    c.target = Modules().workbench;
    plugin_util::PostFromHost(&c);
    EXPECT_EQ(waiting.calls->load(), 2);
    EXPECT_EQ(*waiting.command, LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE);
}

TEST_F(ReplyRouting, RecordsThatAreNotRepliesToTheModuleRunNothing) {
    WaitingTask waiting;
    ThumbnailResult result;
    // Broadcast: the module receives it, but it is addressed to nobody.
    PostThumbnailReply(waiting.task->GetTaskId(), kModuleCommandReply, nullptr, &result);
    // Addressed to the module but a request, not a reply.
    PostThumbnailReply(waiting.task->GetTaskId(), kModuleCommandRequest, Modules().workbench, &result);
    // Addressed to another module: the bus hands it to that one only.
    PostThumbnailReply(waiting.task->GetTaskId(), kModuleCommandReply, Modules().fakePhoto, &result);
    EXPECT_EQ(waiting.calls->load(), 0);
}

TEST_F(ReplyRouting, RepliesForTasksThatAreNotWaitingAreDroppedAndTheirImagesReleased) {
    ThumbnailResult unknown;
    unknown.image = CountedImage();
    PostThumbnailReply("4242", kModuleCommandReply, Modules().workbench, &unknown);
    EXPECT_EQ(releasedImages.load(), 1);

    // A finished task stays findable until its event ends; its stream is over.
    WaitingTask finished;
    NotifySchedular(finished.task, VoTaskStatusFinished);
    ThumbnailResult late;
    late.image = CountedImage();
    PostThumbnailReply(finished.task->GetTaskId(), kModuleCommandReply, Modules().workbench, &late);
    EXPECT_EQ(releasedImages.load(), 2);

    // Package and event ids are findable too, but nothing there waits for
    // replies.
    WaitingTask waiting;
    ThumbnailResult wrongId;
    wrongId.image = CountedImage();
    PostThumbnailReply(waiting.package->GetTaskId(), kModuleCommandReply, Modules().workbench, &wrongId);
    EXPECT_EQ(waiting.calls->load(), 0);
    EXPECT_EQ(releasedImages.load(), 3);
}

TEST_F(ReplyRouting, AThumbnailThatTheHandlerDoesNotTakeIsReleased) {
    WaitingTask waiting(/*take=*/false);
    ThumbnailResult result;
    result.image = CountedImage();
    PostThumbnailReply(waiting.task->GetTaskId(), kModuleCommandReply, Modules().workbench, &result);
    EXPECT_EQ(waiting.calls->load(), 1);
    EXPECT_EQ(releasedImages.load(), 1);
}

// The host's answer to the display-scale query: a float it allocates.
std::atomic<int> scaleQueries{0};
std::atomic<void*> scaleAsker{nullptr};
int32_t AnswerScale(ModuleCommand* c) {
    ++scaleQueries;
    scaleAsker = c->sender;
    c->result = new float(1.5f);
    return 0;
}

TEST(WindowCommands, OnlyTheFirstCreateRequestIsActedOn) {
    ASSERT_NE(Modules().workbench, nullptr);
    plugin_util::SubscribeHandler(LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT, &AnswerScale);

    std::string text = R"({"rect": [0, 60, 1000, 640]})";
    ModuleCommand create{};
    create.command = LIBCONVERTER_COMMAND_CREATE_WINDOW;
    create.text = text.data();
    plugin_util::PostFromHost(&create);
    EXPECT_EQ(scaleQueries.load(), 1);
    EXPECT_EQ(scaleAsker.load(), Modules().workbench);

    plugin_util::PostFromHost(&create);
    EXPECT_EQ(scaleQueries.load(), 1);

    // Without a window of its own yet, a size change changes nothing and
    // must not fail.
    int32_t size[2] = {1000, 700};
    int parent = 0;
    ModuleCommand resize{};
    resize.command = LIBWINDOW_COMMAND_SIZE_CHANGE;
    resize.window = &parent;
    resize.data = size;
    plugin_util::PostFromHost(&resize);
    resize.data = nullptr;
    plugin_util::PostFromHost(&resize);
}

}  // namespace
