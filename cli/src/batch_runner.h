// Runs a batch through Module.Photo: one request per output folder, one
// after the other, each photo reported as it ends; a stop request ends the
// run after the photos under way.
#ifndef PIXBRIDGE_CLI_BATCH_RUNNER_H
#define PIXBRIDGE_CLI_BATCH_RUNNER_H

#include "console_report.h"
#include "photo_batch.h"
#include "photo_module_client.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>

class StderrCapture;

class BatchRunner : public PhotoModuleListener {
public:
    BatchRunner(const PhotoBatch& batch, const ConversionSettings& settings, ConsoleReport& report);

    // The capture that feeds OnStderrLine. Without one (or with an inactive
    // one) codec messages go their own way and failures carry no reason.
    void AttachCapture(StderrCapture* capture) { capture_ = capture; }

    // Converts until the batch is done or a stop was asked for.
    RunTotals Run(PhotoModuleClient& client);

    // Any thread: stop after the photos under way (`signal` for the summary).
    void RequestStop(int signal);
    // The capture's handler: every line written to standard error.
    void OnStderrLine(const std::string& line);

    // PhotoModuleListener (the module's threads)
    void FileStarted(int64_t index) override;
    void FileDone(const std::u16string& source, bool converted) override;
    void RequestEnded() override;

private:
    using Clock = std::chrono::steady_clock;
    struct Event {
        enum Kind { kStarted, kDone, kEnded, kForeign } kind = kStarted;
        size_t job = 0;
        bool converted = false;
        int64_t milliseconds = 0;
        std::string text;  // failure reason or foreign line
    };

    // Hands an event to the main thread, behind every standard-error line
    // written before it when the capture is on.
    void Deliver(Event event);
    void Enqueue(Event event);
    void Handle(const Event& event, RunTotals& totals);
    void FinishRequest(RunTotals& totals);

    const PhotoBatch& batch_;
    ConversionSettings settings_;
    ConsoleReport& report_;
    StderrCapture* capture_ = nullptr;
    std::string markerPrefix_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Event> queue_;
    std::map<uint64_t, Event> marked_;  // events waiting for their marker line
    uint64_t nextMarker_ = 0;
    int stopSignal_ = 0;
    std::string failureText_;           // the codec's last failure message

    // Written on the module's thread; read under `mutex_`. The module works
    // on the next photo while it finishes the one before, so several may
    // have started and not ended; they end in the order they started.
    size_t rangeBegin_ = 0;
    size_t rangeEnd_ = 0;
    std::deque<std::pair<size_t, Clock::time_point>> started_;  // job, start

    // Main thread only.
    std::vector<bool> finished_;
};

#endif  // PIXBRIDGE_CLI_BATCH_RUNNER_H
