// The running numbers of the one progress job, written by worker threads'
// notifications and read by the progress dialog's timer. Notifications count
// only while a job runs: after a cancel, or when no job is shown, a late
// notification of an ended job changes nothing.
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
    // The host's job: installs itself as the one ProgressCounters::Get finds.
    ProgressCounters();
    // Counters of a dialog's own (the update download), not the host's job.
    enum Detached { kDetached };
    explicit ProgressCounters(Detached) {}
    ~ProgressCounters();
    // The host's instance (owned by the host application).
    static ProgressCounters& Get();

    // A new job: everything cleared, notifications counted from now on.
    void Begin();
    // The job ended by the user or by a cancel: later notifications are dropped.
    void End();
    // The job's last notification arrived.
    void MarkFinished();
    bool Running() const { return running_.load(); }
    bool Finished() const { return finished_.load(); }

    void Reset();
    void SetPosition(int32_t position);
    void SetTotal(int32_t total);
    // Adds failures and remembers the failed item, numbered by the count
    // after the addition, for the log.
    void AddFailures(int32_t count, const std::u16string& path);
    void SetDescription(const std::u16string& text);
    void SetLogo(QImage* logo) { logo_.exchange(logo); }

    int32_t Position() const { return position_.load(); }
    int32_t Total() const { return total_.load(); }
    int32_t Failures() const { return failures_.load(); }
    std::u16string Description() const;
    QImage* Logo() const { return logo_.load(); }

    struct Failure {
        int32_t number = 0;
        std::u16string path;
    };
    // The failed items noted since the last call.
    std::vector<Failure> TakeNewFailures();

private:
    std::atomic<bool> running_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int32_t> position_{0};
    std::atomic<int32_t> total_{0};
    std::atomic<int32_t> failures_{0};
    std::atomic<QImage*> logo_{nullptr};
    mutable std::mutex mutex_;
    std::u16string description_;
    std::vector<Failure> newFailures_;
};

#endif  // PIXBRIDGE_HOST_PROGRESS_COUNTERS_H
