#include "codec_log.h"

#include <unistd.h>

#include <cerrno>

namespace photocodec {

void logLine(LogLevel level, const std::string& text)
{
    const char* tag = level == LogLevel::Error ? "error" : level == LogLevel::Warning ? "warning" : "info";
    std::string line = "[photocodec ";
    line += tag;
    line += "] ";
    line += text;
    line += '\n';
    // One write() per line keeps lines from concurrent decoders whole.
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace photocodec
