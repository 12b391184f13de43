// Work queued from many threads runs on the main thread, every item once,
// each thread's items in the order that thread queued them.
#include <canvas/dispatch_queue.h>
#include <canvas/utils.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

namespace {

class Target : public QObject {
protected:
    bool event(QEvent* e) override { return DispatchQueue::RunEvent(e) || QObject::event(e); }
};

TEST(DispatchQueue, ManyThreadsRunOnceInOrderOnTheMainThread) {
    int argc = 1;
    char name[] = "canvas_tests";
    char* argv[] = {name};
    QCoreApplication app(argc, argv);

    // Work queued before the target exists is kept, not lost.
    std::atomic<bool> early{false};
    DispatchQueue::DispatchGetMainQueue()->DispatchAsync([&] { early = true; });

    Target target;
    DispatchQueue::DispatchQueueInit(&target);
    EXPECT_TRUE(DispatchQueue::IsMainThread());

    constexpr int kThreads = 8, kItems = 500;
    std::map<int, std::vector<int>> seen;  // touched on the main thread only
    std::atomic<int> offMain{0};
    std::atomic<int> ran{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kItems; ++i) {
                DispatchQueue::DispatchGetMainQueue()->DispatchAsync([&, t, i] {
                    if (!DispatchQueue::IsMainThread()) offMain.fetch_add(1);
                    seen[t].push_back(i);
                    if (ran.fetch_add(1) + 1 == kThreads * kItems) QCoreApplication::quit();
                });
            }
        });
    }
    QTimer::singleShot(20000, &app, &QCoreApplication::quit);  // never hang the suite
    app.exec();
    for (auto& th : threads) th.join();

    EXPECT_TRUE(early.load());
    // Once the target is gone, work is refused, not sent to a dead object.
    DispatchQueue::DispatchQueueStop(&target);
    EXPECT_FALSE(DispatchQueue::DispatchGetMainQueue()->DispatchAsync([] {}));
    EXPECT_EQ(offMain.load(), 0);
    EXPECT_EQ(ran.load(), kThreads * kItems);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(kItems));
        for (int i = 0; i < kItems; ++i) ASSERT_EQ(seen[t][i], i);
    }
}

TEST(Utils, ModuleDirIsTheFolderOfTheLibraryHoldingTheAddress) {
    const std::string want = std::string(PIXBRIDGE_APP_DIR) + "/";
    const std::u16string dir = Utils::GetDllModuleDir(reinterpret_cast<void*>(&Utils::CreateRoundRect));
    EXPECT_EQ(std::string(dir.begin(), dir.end()), want);
    // A module's instance on the bus is its dlopen handle.
    void* handle = dlopen((want + "libBedrock.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    const std::u16string fromHandle = Utils::GetDllModuleDir(handle);
    EXPECT_EQ(std::string(fromHandle.begin(), fromHandle.end()), want);
    dlclose(handle);
}

}  // namespace
