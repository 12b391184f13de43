// One post delivered to three subscribers: the cost every command pays.
#include "plugin_util.h"

#include <benchmark/benchmark.h>

#include <atomic>

namespace {

std::atomic<int64_t> sink{0};

int32_t Receiver(ModuleCommand* command) {
    sink.fetch_add(command->number, std::memory_order_relaxed);
    return 0;
}

void Subscribe() {
    static const bool once = [] {
        for (int i = 0; i < 3; ++i) plugin_util::SubscribeHandler("BENCH_COMMAND", &Receiver);
        // Other commands in the table, so the look-up is not trivially short.
        for (int i = 0; i < 60; ++i) plugin_util::SubscribeHandler(("BENCH_OTHER_" + std::to_string(i)).c_str(), &Receiver);
        return true;
    }();
    (void)once;
}

void BM_PostToThreeSubscribers(benchmark::State& state) {
    Subscribe();
    int dummy = 0;
    for (auto _ : state) {
        ModuleCommand c{};
        c.command = "BENCH_COMMAND";
        c.number = 1;
        c.sender = &dummy;  // not the host: the host's own handlers receive it
        plugin_util::PostCommand(&c);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PostToThreeSubscribers)->ThreadRange(1, 4)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
