#include "batch_runner.h"

#include "codec_output.h"
#include "stderr_capture.h"

#include <bedrock/bas_utility_string.h>

#include <glog/logging.h>
#include <unistd.h>

#include <random>

namespace {

constexpr auto kTickInterval = std::chrono::milliseconds(200);
constexpr const char* kUnknownFailure = "the photo could not be converted (the log has the details)";

// A prefix no program writes by chance: the converter finds its own markers
// among the codec's lines by it.
std::string MakeMarkerPrefix() {
    std::random_device random;
    return "\x1epixbridge-convert marker " + std::to_string(getpid()) + "-" + std::to_string(random()) + " ";
}

}  // namespace

BatchRunner::BatchRunner(const PhotoBatch& batch, const ConversionSettings& settings, ConsoleReport& report)
    : batch_(batch), settings_(settings), report_(report), markerPrefix_(MakeMarkerPrefix()) {}

void BatchRunner::RequestStop(int signal) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopSignal_ == 0) stopSignal_ = signal;
    }
    wake_.notify_all();
}

void BatchRunner::Enqueue(Event event) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(event));
    }
    wake_.notify_all();
}

void BatchRunner::Deliver(Event event) {
    if (!capture_ || !capture_->Active()) {
        Enqueue(std::move(event));
        return;
    }
    uint64_t marker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        marker = nextMarker_++;
        marked_[marker] = std::move(event);
    }
    // The codec wrote its message about this photo before the module posted
    // the reply, so the marker reaches OnStderrLine after that message.
    capture_->Mark(markerPrefix_ + std::to_string(marker));
}

void BatchRunner::OnStderrLine(const std::string& line) {
    if (line.compare(0, markerPrefix_.size(), markerPrefix_) == 0) {
        const uint64_t marker = std::strtoull(line.c_str() + markerPrefix_.size(), nullptr, 10);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = marked_.find(marker);
            if (it == marked_.end()) return;
            Event event = std::move(it->second);
            marked_.erase(it);
            if (event.kind == Event::kDone && !event.converted && !failureText_.empty()) {
                event.text = FailureReason(failureText_, batch_.jobs[event.job].source);
            }
            if (event.kind != Event::kForeign) failureText_.clear();
            queue_.push_back(std::move(event));
        }
        wake_.notify_all();
        return;
    }
    const CodecLine codec = ClassifyCodecLine(line);
    switch (codec.kind) {
    case CodecLine::kFailure: {
        LOG(WARNING) << line;
        std::lock_guard<std::mutex> lock(mutex_);
        failureText_ = codec.message;
        return;
    }
    case CodecLine::kNote:
        LOG(INFO) << line;
        return;
    case CodecLine::kNotCodec: {
        Event event;
        event.kind = Event::kForeign;
        event.text = line;
        Enqueue(std::move(event));
        return;
    }
    }
}

void BatchRunner::FileStarted(int64_t index) {
    Event event;
    event.kind = Event::kStarted;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (index < 0 || rangeBegin_ + static_cast<size_t>(index) >= rangeEnd_) return;
        event.job = rangeBegin_ + static_cast<size_t>(index);
        started_.emplace_back(event.job, Clock::now());
    }
    Deliver(std::move(event));
}

void BatchRunner::FileDone(const std::u16string& source, bool converted) {
    Event event;
    event.kind = Event::kDone;
    event.converted = converted;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string path = BASUtilityString::Utf16ToUtf8(source);
        // The oldest photo started is the one ending, unless the notices
        // went astray: then the path tells.
        auto started = started_.begin();
        while (started != started_.end() && batch_.jobs[started->first].source != path) ++started;
        if (started != started_.end()) {
            event.job = started->first;
            event.milliseconds =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started->second).count();
            started_.erase(started);
        } else {
            size_t job = rangeEnd_;
            for (size_t i = rangeBegin_; i < rangeEnd_; ++i) {
                if (batch_.jobs[i].source == path) job = i;
            }
            if (job == rangeEnd_) return;
            event.job = job;
        }
    }
    Deliver(std::move(event));
}

void BatchRunner::RequestEnded() {
    Event event;
    event.kind = Event::kEnded;
    Deliver(std::move(event));
}

void BatchRunner::Handle(const Event& event, RunTotals& totals) {
    switch (event.kind) {
    case Event::kStarted:
        report_.FileStarted(batch_.jobs[event.job].source);
        break;
    case Event::kDone:
        if (finished_[event.job]) break;
        finished_[event.job] = true;
        ++(event.converted ? totals.converted : totals.failed);
        report_.FileFinished(batch_.jobs[event.job].source, event.converted, event.milliseconds,
                             event.text.empty() ? kUnknownFailure : event.text);
        break;
    case Event::kForeign:
        report_.ForeignLine(event.text);
        break;
    case Event::kEnded:
        FinishRequest(totals);
        break;
    }
}

void BatchRunner::FinishRequest(RunTotals& totals) {
    size_t begin, end;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        begin = rangeBegin_;
        end = rangeEnd_;
        rangeBegin_ = rangeEnd_ = 0;
    }
    // A request that ended without a word about some of its photos: after a
    // stop they were never started; otherwise the module passed them over.
    if (totals.stopSignal != 0) return;
    for (size_t i = begin; i < end; ++i) {
        if (finished_[i]) continue;
        finished_[i] = true;
        ++totals.failed;
        report_.FileFinished(batch_.jobs[i].source, false, 0, "the photo module passed the photo over");
    }
}

RunTotals BatchRunner::Run(PhotoModuleClient& client) {
    RunTotals totals;
    totals.skipped = batch_.skipped.size();
    finished_.assign(batch_.jobs.size(), false);
    report_.Begin(batch_.jobs.size());
    const Clock::time_point start = Clock::now();

    for (const std::string& warning : batch_.warnings) report_.Warning(warning);
    for (size_t i = 0; i < batch_.jobs.size(); ++i) {
        if (batch_.jobs[i].refusal.empty()) continue;
        finished_[i] = true;
        ++totals.failed;
        report_.FileFinished(batch_.jobs[i].source, false, 0, batch_.jobs[i].refusal);
    }
    for (const std::string& path : batch_.skipped) report_.Skipped(path);

    const std::vector<JobRange> ranges = GroupRequests(batch_.jobs);
    size_t next = 0;
    bool inFlight = false;
    std::string eventId;
    for (;;) {
        int signal;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signal = stopSignal_;
        }
        if (signal != 0 && totals.stopSignal == 0) {
            totals.stopSignal = signal;
            if (inFlight) PhotoModuleClient::Stop(eventId);
            report_.Stopping(signal);
        }
        if (!inFlight) {
            if (totals.stopSignal != 0 || next == ranges.size()) break;
            const JobRange range = ranges[next++];
            std::vector<std::string> sources;
            for (size_t i = range.begin; i < range.end; ++i) sources.push_back(batch_.jobs[i].source);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                rangeBegin_ = range.begin;
                rangeEnd_ = range.end;
                started_.clear();
            }
            // Folders of a kept tree are made as their first photo comes.
            const std::string& folder = batch_.jobs[range.begin].outputDir;
            std::string refusal;
            if (MakeOutputFolder(folder, refusal)) {
                eventId = client.Convert(BuildConversionRequest(sources, folder, settings_));
                if (eventId.empty()) refusal = "Module.Photo did not take the request";
            }
            if (!refusal.empty()) {
                for (size_t i = range.begin; i < range.end; ++i) {
                    finished_[i] = true;
                    ++totals.failed;
                    report_.FileFinished(batch_.jobs[i].source, false, 0, refusal);
                }
                continue;
            }
            inFlight = true;
        }

        std::deque<Event> events;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, kTickInterval,
                           [&] { return !queue_.empty() || (stopSignal_ != 0 && totals.stopSignal == 0); });
            events.swap(queue_);
        }
        for (const Event& event : events) {
            Handle(event, totals);
            if (event.kind == Event::kEnded) inFlight = false;
        }
        report_.Tick();
    }

    for (size_t i = 0; i < batch_.jobs.size(); ++i) {
        if (finished_[i]) continue;
        ++totals.notConverted;
        report_.NotConverted(batch_.jobs[i].source);
    }
    totals.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    report_.Finish(totals);
    return totals;
}
