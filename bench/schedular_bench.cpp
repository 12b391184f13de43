// Tasks per second through the full event -> package -> task path, with the
// finish functions the modules install.
#include <bedrock/bas_utility_app.h>
#include <bedrock/vo_task.h>
#include <bedrock/vo_task_pool.h>
#include <bedrock/vo_task_schedular.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

struct Countdown {
    std::mutex mutex;
    std::condition_variable done;
    int64_t left = 0;
    void Arrive() {
        std::lock_guard<std::mutex> lock(mutex);
        if (--left == 0) done.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [this] { return left == 0; });
    }
};

std::shared_ptr<VoTaskEvent> MakeEvent(int tasks, Countdown& countdown) {
    auto package = std::make_shared<VoTaskPackage>();
    package->SetTaskId(BASUtilityApp::GetTaskId());
    package->SetTaskFunc([](const std::shared_ptr<VoTask>& p) { NotifySchedular(p, p->GetStatus()); });
    for (int i = 0; i < tasks; ++i) {
        auto task = std::make_shared<VoTask>();
        task->SetTaskId(BASUtilityApp::GetTaskId());
        task->SetTaskFunc([](const std::shared_ptr<VoTask>& t) { NotifySchedular(t, VoTaskStatusFinished); });
        package->AddTask(task);
    }
    auto event = std::make_shared<VoTaskEvent>();
    event->SetTaskId(BASUtilityApp::GetTaskId());
    event->AddPackage(package);
    event->SetTaskFunc([&countdown](const std::shared_ptr<VoTask>& e) {
        NotifySchedular(e, e->GetStatus());
        countdown.Arrive();
    });
    return event;
}

// Events of `range(0)` tasks each, 1000 events per iteration.
void BM_EventsThroughScheduler(benchmark::State& state) {
    VoTaskPool::Get()->Activate(5);
    const int tasksPerEvent = static_cast<int>(state.range(0));
    constexpr int kEvents = 1000;
    for (auto _ : state) {
        Countdown countdown;
        countdown.left = kEvents;
        for (int i = 0; i < kEvents; ++i) {
            auto event = MakeEvent(tasksPerEvent, countdown);
            VoTaskSchedular::Get()->RegisterTaskEvent(event);
            VoTaskSchedular::Get()->PostTaskEvent(event);
        }
        countdown.Wait();
    }
    state.SetItemsProcessed(state.iterations() * kEvents * tasksPerEvent);
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kEvents), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EventsThroughScheduler)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
