// What the user sees: a progress bar on a terminal, plain lines otherwise,
// JSON lines with --json, nothing but errors with --quiet; the summary at
// the end. Main thread only.
#ifndef PIXBRIDGE_CLI_CONSOLE_REPORT_H
#define PIXBRIDGE_CLI_CONSOLE_REPORT_H

#include "convert_options.h"

#include <chrono>
#include <cstdint>
#include <string>

struct RunTotals {
    size_t converted = 0;
    size_t failed = 0;
    size_t skipped = 0;
    size_t notConverted = 0;  // never started because of a stop
    double seconds = 0.0;
    int stopSignal = 0;       // the signal that stopped the run, or 0
};

class ConsoleReport {
public:
    enum class Mode { kBar, kLines, kJson, kQuiet };
    using Clock = std::chrono::steady_clock;

    // The bar needs a terminal on standard output.
    static Mode ChooseMode(const ConvertOptions& options, int outFd);
    // `quiet` also keeps the summary and notices out of the JSON mode.
    ConsoleReport(Mode mode, int outFd, int errFd, bool quiet = false);
    // Where errors go from now on (the real standard error once it is captured).
    void SetErrorFd(int errFd) { errFd_ = errFd; }

    void Begin(size_t photoCount);
    void FileStarted(const std::string& path);
    void FileFinished(const std::string& path, bool converted, int64_t milliseconds, const std::string& reason);
    void Skipped(const std::string& path);
    // A photo that was not started because the run was stopped.
    void NotConverted(const std::string& path);
    void Stopping(int signal);
    // The converter's own warnings, and lines other programs wrote to
    // standard error: both go to the user's standard error.
    void Warning(const std::string& text);
    void ForeignLine(const std::string& line);
    // Redraws the bar so that the rate and the time left stay current.
    void Tick();
    void Finish(const RunTotals& totals);

    // The bar's text for a terminal `width` columns wide (exposed for tests).
    static std::string FormatBar(size_t done, size_t total, double seconds, const std::string& current, int width);
    static std::string FormatSummary(const RunTotals& totals);
    // Text for the terminal: valid UTF-8 without control characters.
    static std::string Printable(const std::string& text);

private:
    void Out(const std::string& text);
    void Err(const std::string& text);
    void JsonLine(const std::string& path, const char* status, int64_t milliseconds, const std::string& error);
    void ClearBar();
    void DrawBar();
    int TerminalWidth() const;
    double Elapsed() const;

    Mode mode_;
    bool quiet_;
    int outFd_;
    int errFd_;
    size_t total_ = 0;
    size_t done_ = 0;
    std::string current_;
    Clock::time_point start_ = Clock::now();
    bool barShown_ = false;
    std::string lastBar_;
    bool stopping_ = false;
};

#endif  // PIXBRIDGE_CLI_CONSOLE_REPORT_H
