// The codec's log lines: one line each on stderr, tagged so they can be told
// apart from the program's own output.
#ifndef PHOTOCODEC_CODEC_LOG_H
#define PHOTOCODEC_CODEC_LOG_H

#include <string>

namespace photocodec {

enum class LogLevel { Info, Warning, Error };

// Thread-safe; never throws.
void logLine(LogLevel level, const std::string& text);

}  // namespace photocodec

#endif  // PHOTOCODEC_CODEC_LOG_H
