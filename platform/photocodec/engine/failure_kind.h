// Whether a failure was the file's or the machine's. A failed job carries
// one message; those that come from the machine rather than from what the
// file holds (memory running short, no decoder for the file's coding) say
// so in the words below, so that the message alone tells them apart. Only
// a failure of the file's own is remembered in the thumbnail cache: the
// machine may do better next time.
#ifndef PHOTOCODEC_FAILURE_KIND_H
#define PHOTOCODEC_FAILURE_KIND_H

#include <string>

namespace photocodec {

inline constexpr const char* kShortOfMemory = "not enough memory";
inline constexpr const char* kNoDecoder = "no decoder";

inline bool isMachineShortcoming(const std::string& error)
{
    return error.find(kShortOfMemory) != std::string::npos || error.find(kNoDecoder) != std::string::npos;
}

}  // namespace photocodec

#endif  // PHOTOCODEC_FAILURE_KIND_H
