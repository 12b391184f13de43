// The running numbers of the one progress job, written by worker threads'
// notifications and read by the progress dialog's timer.
#ifndef PIXBRIDGE_HOST_PROGRESS_COUNTERS_H
#define PIXBRIDGE_HOST_PROGRESS_COUNTERS_H

#include <QImage>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class ProgressCounters {
public:
    static ProgressCounters& Get();

    void Reset();
    void SetPosition(int32_t position) { position_.exchange(position); }
    void SetTotal(int32_t total) { total_.exchange(total); }
    // Adds failures and remembers the failed item for the log.
    void AddFailures(int32_t count, const std::u16string& path);
    void SetDescription(const std::u16string& text);
    void SetLogo(QImage* logo) { logo_.exchange(logo); }

    int32_t Position() const { return position_.load(); }
    int32_t Total() const { return total_.load(); }
    int32_t Failures() const { return failures_.load(); }
    std::u16string Description() const;
    QImage* Logo() const { return logo_.load(); }
    // The failed items noted since the last call.
    std::vector<std::u16string> TakeNewFailures();

private:
    ProgressCounters() = default;
    std::atomic<int32_t> position_{0};
    std::atomic<int32_t> total_{0};
    std::atomic<int32_t> failures_{0};
    std::atomic<QImage*> logo_{nullptr};
    mutable std::mutex mutex_;
    std::u16string description_;
    std::vector<std::u16string> newFailures_;
};

#endif  // PIXBRIDGE_HOST_PROGRESS_COUNTERS_H
