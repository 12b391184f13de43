// Takes over the process's standard error while photos convert. The codec
// and its helper process write their diagnostics there; a progress bar on
// the same terminal would be torn apart by them, and --quiet must hide the
// ones that are not errors. Every line goes to a handler instead, on a
// thread of the capture's own; the converter's own output uses the saved
// real standard error.
#ifndef PIXBRIDGE_CLI_STDERR_CAPTURE_H
#define PIXBRIDGE_CLI_STDERR_CAPTURE_H

#include <functional>
#include <string>
#include <thread>

class StderrCapture {
public:
    using LineHandler = std::function<void(const std::string& line)>;

    // Starts capturing; when the pipe cannot be made, nothing is captured
    // and Active() is false.
    explicit StderrCapture(LineHandler handler);
    // Stop().
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    bool Active() const { return readEnd_ >= 0; }
    // Where the converter writes its own errors: the real standard error.
    int RealStderr() const { return savedStderr_ >= 0 ? savedStderr_ : 2; }
    // Writes `line` into the captured stream. Its handler call comes after
    // those of every line written to standard error before it, by any
    // thread of this process, which ties a codec message to the file it
    // belongs to.
    void Mark(const std::string& line);
    // Puts standard error back, hands over what is still buffered and ends
    // the thread. Lines the helper writes afterwards are not seen.
    void Stop();

private:
    void ReadLoop();

    LineHandler handler_;
    int readEnd_ = -1;
    int savedStderr_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread reader_;
};

#endif  // PIXBRIDGE_CLI_STDERR_CAPTURE_H
