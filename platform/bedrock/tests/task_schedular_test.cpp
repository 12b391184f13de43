// The scheduler's promises that the modules build on: a package ends after
// all its tasks, an event after its packages; a task may stay open past its
// work function; a stop reaches running work; nothing is found once ended.
#include <bedrock/auto_release.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/vo_task.h>
#include <bedrock/vo_task_pool.h>
#include <bedrock/vo_task_schedular.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using TaskPtr = std::shared_ptr<VoTask>;

class Schedular : public ::testing::Test {
protected:
    static void SetUpTestSuite() { VoTaskPool::Get()->Activate(5); }
};

TaskPtr MakeTask(VoTask::TaskFunc func) {
    auto task = std::make_shared<VoTask>();
    task->SetTaskId(BASUtilityApp::GetTaskId());
    task->SetTaskFunc(std::move(func));
    return task;
}

// An event of `packages` packages with `tasksEach` tasks; the finish
// functions record the order of ends and pass the status on.
struct Tree {
    std::shared_ptr<VoTaskEvent> event = std::make_shared<VoTaskEvent>();
    std::vector<std::shared_ptr<VoTaskPackage>> packages;
    std::vector<TaskPtr> tasks;
    std::mutex mutex;
    std::vector<std::string> ends;
    std::promise<VoTaskStatus1> eventDone;

    Tree(int packageCount, int tasksEach, VoTask::TaskFunc work) {
        event->SetTaskId(BASUtilityApp::GetTaskId());
        event->SetTaskFunc([this](const TaskPtr& e) {
            Record("event");
            const VoTaskStatus1 status = e->GetStatus();
            NotifySchedular(e, status);
            eventDone.set_value(status);
        });
        for (int p = 0; p < packageCount; ++p) {
            auto package = std::make_shared<VoTaskPackage>();
            package->SetTaskId(BASUtilityApp::GetTaskId());
            package->SetTaskFunc([this](const TaskPtr& pk) {
                Record("package");
                NotifySchedular(pk, pk->GetStatus());
            });
            for (int t = 0; t < tasksEach; ++t) {
                auto task = MakeTask(work);
                package->AddTask(task);
                tasks.push_back(task);
            }
            event->AddPackage(package);
            packages.push_back(package);
        }
    }
    void Record(const char* what) {
        std::lock_guard<std::mutex> lock(mutex);
        ends.emplace_back(what);
    }
};

TEST_F(Schedular, PackageAndEventEndOnlyAfterEveryTask) {
    // Tasks return without ending; the test ends them one by one.
    Tree tree(2, 3, [](const TaskPtr&) {});
    auto done = tree.eventDone.get_future();
    VoTaskSchedular::Get()->RegisterTaskEvent(tree.event);
    VoTaskSchedular::Get()->PostTaskEvent(tree.event);

    for (size_t i = 0; i + 1 < tree.tasks.size(); ++i) {
        NotifySchedular(tree.tasks[i], i == 1 ? VoTaskStatusFailed : VoTaskStatusFinished);
    }
    std::this_thread::sleep_for(50ms);
    {
        std::lock_guard<std::mutex> lock(tree.mutex);
        EXPECT_EQ(tree.ends, std::vector<std::string>{"package"});  // the first package only
    }
    EXPECT_EQ(VoTaskSchedular::Get()->FindTask(tree.event->GetTaskId()), tree.event);
    EXPECT_EQ(VoTaskSchedular::Get()->FindTask(tree.tasks.back()->GetTaskId()), tree.tasks.back());

    NotifySchedular(tree.tasks.back(), VoTaskStatusFinished);
    ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
    // A failed task makes its package, and so the event, failed.
    EXPECT_EQ(done.get(), VoTaskStatusFailed);
    EXPECT_EQ(tree.packages[0]->GetStatus(), VoTaskStatusFailed);
    EXPECT_EQ(tree.packages[1]->GetStatus(), VoTaskStatusFinished);
    std::lock_guard<std::mutex> lock(tree.mutex);
    EXPECT_EQ(tree.ends, (std::vector<std::string>{"package", "package", "event"}));
}

TEST_F(Schedular, NothingIsFoundOnceTheEventHasEnded) {
    Tree tree(1, 2, [](const TaskPtr& t) { NotifySchedular(t, VoTaskStatusFinished); });
    auto done = tree.eventDone.get_future();
    VoTaskSchedular::Get()->PostTaskEvent(tree.event);
    ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
    // The event's own NotifySchedular runs just before the promise is set.
    EXPECT_EQ(VoTaskSchedular::Get()->FindTask(tree.event->GetTaskId()), nullptr);
    EXPECT_EQ(VoTaskSchedular::Get()->FindTask(tree.packages[0]->GetTaskId()), nullptr);
    EXPECT_EQ(VoTaskSchedular::Get()->FindTask(tree.tasks[0]->GetTaskId()), nullptr);
    // Ending an ended task again changes nothing.
    NotifySchedular(tree.tasks[0], VoTaskStatusFailed);
    EXPECT_EQ(tree.tasks[0]->GetStatus(), VoTaskStatusFinished);
}

TEST_F(Schedular, StopReachesRunningWorkAndEndsTheEvent) {
    std::promise<void> started;
    std::atomic<bool> sawStop{false};
    Tree tree(1, 1, [&](const TaskPtr& t) {
        started.set_value();
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (t->GetStatus() != VoTaskStatusStopped && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        sawStop = t->GetStatus() == VoTaskStatusStopped;
        NotifySchedular(t, VoTaskStatusFinished);  // late: must be ignored
    });
    VoTaskSchedular::Get()->PostTaskEvent(tree.event);
    started.get_future().wait();
    EXPECT_TRUE(VoTaskSchedular::Get()->StopTaskEvent(tree.event->GetTaskId()));
    EXPECT_EQ(VoTaskSchedular::Get()->FindTask(tree.tasks[0]->GetTaskId()), nullptr);
    EXPECT_FALSE(VoTaskSchedular::Get()->StopTaskEvent(tree.event->GetTaskId()));

    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!tree.tasks[0]->IsEnded() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(sawStop.load());
    EXPECT_EQ(tree.tasks[0]->GetStatus(), VoTaskStatusStopped);
    EXPECT_EQ(tree.event->GetStatus(), VoTaskStatusStopped);
    std::lock_guard<std::mutex> lock(tree.mutex);
    EXPECT_TRUE(tree.ends.empty());  // a stopped event runs no finish function
}

TEST_F(Schedular, OpenTaskIsEndedFromAnotherThreadWithoutDeadlock) {
    // The shape of a request task: its work function hands the task to
    // another thread (a reply) and returns; that thread ends it later, while
    // other threads look it up and stop unrelated events.
    constexpr int kEvents = 200;
    std::vector<std::unique_ptr<Tree>> trees;
    std::vector<std::future<VoTaskStatus1>> done;
    std::mutex handoffMutex;
    std::condition_variable handoffReady;
    std::vector<TaskPtr> handoff;
    for (int i = 0; i < kEvents; ++i) {
        trees.push_back(std::make_unique<Tree>(1, 1, [&](const TaskPtr& t) {
            std::lock_guard<std::mutex> lock(handoffMutex);
            handoff.push_back(t);
            handoffReady.notify_one();
        }));
        done.push_back(trees.back()->eventDone.get_future());
    }
    std::atomic<bool> stop{false};
    std::thread replier([&] {
        int ended = 0;
        while (ended < kEvents) {
            std::unique_lock<std::mutex> lock(handoffMutex);
            handoffReady.wait_for(lock, 10ms, [&] { return !handoff.empty(); });
            std::vector<TaskPtr> batch;
            batch.swap(handoff);
            lock.unlock();
            for (const TaskPtr& t : batch) {
                ASSERT_NE(VoTaskSchedular::Get()->FindTask(t->GetTaskId()), nullptr);
                NotifySchedular(t, VoTaskStatusFinished);
                ++ended;
            }
        }
    });
    std::thread noise([&] {
        while (!stop) {
            VoTaskSchedular::Get()->StopTaskEvent("no-such-event");
            VoTaskSchedular::Get()->FindTask("no-such-task");
        }
    });
    for (auto& tree : trees) VoTaskSchedular::Get()->PostTaskEvent(tree->event);
    for (auto& f : done) ASSERT_EQ(f.wait_for(10s), std::future_status::ready);
    stop = true;
    replier.join();
    noise.join();
}

TEST_F(Schedular, AnEventRunsOnceAndStaysEnded) {
    std::atomic<int> runs{0};
    Tree tree(1, 1, [&](const TaskPtr& t) {
        runs.fetch_add(1);
        NotifySchedular(t, VoTaskStatusFinished);
    });
    auto done = tree.eventDone.get_future();
    VoTaskSchedular::Get()->PostTaskEvent(tree.event);
    VoTaskSchedular::Get()->PostTaskEvent(tree.event);  // a second post runs nothing more
    ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(runs.load(), 1);
    // Ended: neither a stop nor a new registration brings it back.
    EXPECT_FALSE(VoTaskSchedular::Get()->StopTaskEvent(tree.event->GetTaskId()));
    EXPECT_EQ(tree.event->GetStatus(), VoTaskStatusFinished);
    VoTaskSchedular::Get()->RegisterTaskEvent(tree.event);
    EXPECT_EQ(VoTaskSchedular::Get()->FindTask(tree.event->GetTaskId()), nullptr);

    Tree stopped(1, 1, [&](const TaskPtr&) { runs.fetch_add(1); });
    VoTaskSchedular::Get()->RegisterTaskEvent(stopped.event);
    EXPECT_TRUE(VoTaskSchedular::Get()->StopTaskEvent(stopped.event->GetTaskId()));
    VoTaskSchedular::Get()->PostTaskEvent(stopped.event);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(VoTaskSchedular::Get()->FindTask(stopped.tasks[0]->GetTaskId()), nullptr);
}

TEST(AutoReleasePool, ReportsTasksStillAliveWithTheirOrigin) {
    AutoRelease::InitPool();
    const size_t before = AutoRelease::LiveObjectCount();
    auto task = std::make_shared<VoTask>();
    AutoRelease::AddObject(task.get(), "src/work/base_work", 26);
    EXPECT_EQ(AutoRelease::LiveObjectCount(), before + 1);
    std::ostringstream report;
    AutoRelease::PrintLeakObject(&report);
    EXPECT_NE(report.str().find("src/work/base_work:26"), std::string::npos);

    // A local pool keeps what it holds alive until it ends.
    std::weak_ptr<VoTask> weak = task;
    {
        LocalPool pool;
        AutoRelease::AddPoolObject(task);
        task.reset();
        EXPECT_FALSE(weak.expired());
    }
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(AutoRelease::LiveObjectCount(), before);  // destroyed tasks leave the record
}

}  // namespace
