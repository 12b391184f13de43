#include "console_report.h"

#include "photo_batch.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>

namespace {

constexpr int kDefaultWidth = 80;
constexpr int kBarCells = 20;

void WriteAll(int fd, const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
}

std::string Printf(const char* format, double value) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// "0:07", "12:34", "1:02:03".
std::string Clockface(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char buffer[32];
    if (total >= 3600) {
        snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    } else {
        snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
    }
    return buffer;
}

std::string Duration(double seconds) {
    if (seconds < 60.0) return Printf("%.1f s", seconds);
    return Clockface(seconds);
}

// Keeps at most `columns` characters (code points) of UTF-8 text.
std::string FitColumns(const std::string& text, int columns) {
    if (columns <= 0) return {};
    int count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (count == columns) return text.substr(0, i);
        ++count;
    }
    return text;
}

const char* SignalWords(int signal) {
    switch (signal) {
    case SIGINT: return "Ctrl+C";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

}  // namespace

ConsoleReport::Mode ConsoleReport::ChooseMode(const ConvertOptions& options, int outFd) {
    if (options.json) return Mode::kJson;
    if (options.quiet) return Mode::kQuiet;
    return isatty(outFd) ? Mode::kBar : Mode::kLines;
}

ConsoleReport::ConsoleReport(Mode mode, int outFd, int errFd, bool quiet)
    : mode_(mode), quiet_(quiet || mode == Mode::kQuiet), outFd_(outFd), errFd_(errFd) {}

void ConsoleReport::Out(const std::string& text) { WriteAll(outFd_, text); }
void ConsoleReport::Err(const std::string& text) { WriteAll(errFd_, text); }

double ConsoleReport::Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

int ConsoleReport::TerminalWidth() const {
    winsize size{};
    if (ioctl(outFd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultWidth;
}

void ConsoleReport::Begin(size_t photoCount) {
    total_ = photoCount;
    start_ = Clock::now();
    if (mode_ == Mode::kBar && total_ > 0) DrawBar();
}

void ConsoleReport::FileStarted(const std::string& path) {
    current_ = std::filesystem::path(path).filename().string();
    if (mode_ == Mode::kBar) DrawBar();
}

void ConsoleReport::FileFinished(const std::string& path, bool converted, int64_t milliseconds,
                                 const std::string& reason) {
    ++done_;
    const std::string shown = Printable(path);
    switch (mode_) {
    case Mode::kJson:
        JsonLine(path, converted ? "converted" : "failed", milliseconds, converted ? std::string() : reason);
        break;
    case Mode::kLines:
        if (converted) {
            Out("converted " + shown + " (" + std::to_string(milliseconds) + " ms)\n");
        } else {
            Err("failed " + shown + ": " + Printable(reason) + "\n");
        }
        break;
    case Mode::kBar:
        if (!converted) {
            ClearBar();
            Err("failed " + shown + ": " + Printable(reason) + "\n");
        }
        DrawBar();
        break;
    case Mode::kQuiet:
        if (!converted) Err("failed " + shown + ": " + Printable(reason) + "\n");
        break;
    }
}

void ConsoleReport::Skipped(const std::string& path) {
    if (mode_ == Mode::kJson) JsonLine(path, "skipped", 0, {});
    if (mode_ == Mode::kLines) Out("skipped " + Printable(path) + " (not a .heic file)\n");
}

void ConsoleReport::NotConverted(const std::string& path) {
    if (mode_ == Mode::kJson) JsonLine(path, "stopped", 0, {});
}

void ConsoleReport::Stopping(int signal) {
    stopping_ = true;
    if (quiet_ || mode_ == Mode::kJson) return;
    ClearBar();
    Err(std::string("Stopping after the photos under way (") + SignalWords(signal) + ")...\n");
    if (mode_ == Mode::kBar) DrawBar();
}

void ConsoleReport::Warning(const std::string& text) {
    ClearBar();
    Err("pixbridge-convert: " + Printable(text) + "\n");
    if (mode_ == Mode::kBar && done_ < total_) DrawBar();
}

void ConsoleReport::ForeignLine(const std::string& line) {
    ClearBar();
    Err(Printable(line) + "\n");
    if (mode_ == Mode::kBar && done_ < total_) DrawBar();
}

void ConsoleReport::Tick() {
    if (mode_ == Mode::kBar && barShown_) DrawBar();
}

void ConsoleReport::Finish(const RunTotals& totals) {
    ClearBar();
    if (quiet_) return;
    const std::string summary = FormatSummary(totals) + "\n";
    // With --json standard output carries nothing but the JSON lines.
    if (mode_ == Mode::kJson) {
        Err(summary);
    } else {
        Out(summary);
    }
}

void ConsoleReport::JsonLine(const std::string& path, const char* status, int64_t milliseconds,
                             const std::string& error) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    const std::string text = ToValidUtf8(path);
    writer.StartObject();
    writer.Key("path");
    writer.String(text.c_str(), static_cast<rapidjson::SizeType>(text.size()));
    writer.Key("status");
    writer.String(status);
    writer.Key("milliseconds");
    writer.Int64(milliseconds);
    if (!error.empty()) {
        const std::string message = ToValidUtf8(error);
        writer.Key("error");
        writer.String(message.c_str(), static_cast<rapidjson::SizeType>(message.size()));
    }
    writer.EndObject();
    Out(std::string(buffer.GetString(), buffer.GetSize()) + "\n");
}

void ConsoleReport::ClearBar() {
    if (!barShown_) return;
    Out("\r\033[K");
    barShown_ = false;
    lastBar_.clear();
}

void ConsoleReport::DrawBar() {
    if (mode_ != Mode::kBar) return;
    std::string bar = FormatBar(done_, total_, Elapsed(), stopping_ ? "stopping..." : current_, TerminalWidth());
    if (barShown_ && bar == lastBar_) return;
    Out("\r\033[K" + bar);
    lastBar_ = std::move(bar);
    barShown_ = true;
}

std::string ConsoleReport::FormatBar(size_t done, size_t total, double seconds, const std::string& current,
                                     int width) {
    const size_t filled = total ? std::min<size_t>(kBarCells, done * kBarCells / total) : 0;
    std::string line = std::to_string(done) + "/" + std::to_string(total) + " [" + std::string(filled, '#') +
                       std::string(kBarCells - filled, '-') + "]";
    if (done > 0 && seconds > 0.0) {
        const double rate = static_cast<double>(done) / seconds;
        line += Printf("  %.2f photos/s", rate);
        line += "  " + Clockface(static_cast<double>(total - done) / rate) + " left";
    } else {
        line += "  -- photos/s  --:-- left";
    }
    if (!current.empty()) line += "  " + Printable(current);
    // One column short of the width, so the terminal never wraps the line.
    return FitColumns(line, width - 1);
}

std::string ConsoleReport::FormatSummary(const RunTotals& totals) {
    const std::string counts = "converted " + std::to_string(totals.converted) + ", failed " + std::to_string(totals.failed) +
                               ", skipped " + std::to_string(totals.skipped);
    if (totals.stopSignal != 0) {
        return std::string("Stopped by ") + SignalWords(totals.stopSignal) + " after " + Duration(totals.seconds) +
               ": " + counts + ", not converted " + std::to_string(totals.notConverted);
    }
    std::string summary = "Converted " + std::to_string(totals.converted) + ", failed " + std::to_string(totals.failed) +
                          ", skipped " + std::to_string(totals.skipped) + " in " + Duration(totals.seconds);
    const size_t processed = totals.converted + totals.failed;
    if (processed > 0 && totals.seconds > 0.0) {
        summary += Printf(" (%.2f photos/s)", static_cast<double>(processed) / totals.seconds);
    }
    return summary;
}

// Text for the terminal: valid UTF-8 without control characters. File
// names and the codec's messages (which may quote bytes of a damaged file)
// could otherwise carry escape sequences that the terminal would obey.
std::string ConsoleReport::Printable(const std::string& text) {
    const std::string valid = ToValidUtf8(text);
    std::string out;
    out.reserve(valid.size());
    for (size_t i = 0; i < valid.size(); ++i) {
        const auto c = static_cast<unsigned char>(valid[i]);
        if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else if (c == 0xC2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) < 0xA0) {
            out += '?';  // U+0080..U+009F, the C1 controls
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}
