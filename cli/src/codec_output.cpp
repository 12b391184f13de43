#include "codec_output.h"

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

CodecLine ClassifyCodecLine(const std::string& line) {
    static const std::string kPrefix = "[photocodec ";
    CodecLine result;
    if (!StartsWith(line, kPrefix)) return result;
    const size_t close = line.find("] ", kPrefix.size());
    if (close == std::string::npos) return result;
    const std::string level = line.substr(kPrefix.size(), close - kPrefix.size());
    result.message = line.substr(close + 2);
    // A retry notice is a warning too, but the photo may still convert; only
    // the final "cannot ..." words mean the file failed.
    const bool failure = (level == "warning" || level == "error") &&
                         (StartsWith(result.message, "cannot convert ") || StartsWith(result.message, "cannot write ") ||
                          StartsWith(result.message, "conversion refused"));
    result.kind = failure ? CodecLine::kFailure : CodecLine::kNote;
    return result;
}

std::string FailureReason(const std::string& message, const std::string& source) {
    const std::string prefix = "cannot convert " + source + ": ";
    return StartsWith(message, prefix) ? message.substr(prefix.size()) : message;
}
