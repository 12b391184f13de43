// Ctrl+C, SIGTERM and SIGHUP as a request to stop after the current photo.
// The signals are blocked in every thread and taken by a thread of their
// own, so no system call of the bus, the codec or the pool is interrupted
// half-way, and the reaction runs in ordinary code, not in a handler.
#ifndef PIXBRIDGE_CLI_SIGNAL_WATCH_H
#define PIXBRIDGE_CLI_SIGNAL_WATCH_H

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

class SignalWatch {
public:
    // Must be made before any other thread starts: threads inherit the
    // blocked set from the one that makes them. `onSignal` runs on the
    // watching thread, once per signal.
    explicit SignalWatch(std::function<void(int signal)> onSignal);
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // The first signal received, or 0.
    int Received() const { return first_.load(); }

private:
    void WatchLoop();

    std::function<void(int)> onSignal_;
    sigset_t watched_;
    std::atomic<int> first_{0};
    std::atomic<bool> ending_{false};
    std::thread thread_;
};

#endif  // PIXBRIDGE_CLI_SIGNAL_WATCH_H
