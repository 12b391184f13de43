#include "signal_watch.h"

#include <pthread.h>

SignalWatch::SignalWatch(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    sigaddset(&watched_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &watched_, nullptr);
    thread_ = std::thread(&SignalWatch::WatchLoop, this);
}

SignalWatch::~SignalWatch() {
    ending_.store(true);
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
    // The signals stay blocked: one that comes during the last steps of
    // the exit must not cut short the summary and the exit status.
}

void SignalWatch::WatchLoop() {
    for (;;) {
        int signal = 0;
        if (sigwait(&watched_, &signal) != 0) continue;
        if (ending_.load()) return;
        int none = 0;
        first_.compare_exchange_strong(none, signal);
        if (onSignal_) onSignal_(signal);
    }
}
