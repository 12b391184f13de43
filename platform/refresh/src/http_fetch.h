// One GET with the update client's rules: only allowed URLs, redirects
// followed by hand (at most five, each one checked), connect and low-speed
// timeouts, an optional time limit for the whole request, a size limit, and
// a progress hook that can stop the transfer.
#ifndef REFRESH_HTTP_FETCH_H
#define REFRESH_HTTP_FETCH_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace http_fetch {

// Receives the body of the final 200 response. False stops the transfer
// (LU_FILE_ERROR).
using BodySink = std::function<bool(const char* data, size_t size)>;
// Receives (total bytes or 0, bytes so far); false stops it (LU_CANCELLED).
using ProgressHook = std::function<bool(double total, double now)>;

struct Request {
    std::string url;
    int64_t maxBytes = 0;
    // The whole request, redirects included, ends after this long
    // (LU_NETWORK_ERROR); 0: no limit beyond the speed floor. A server that
    // trickles just above the floor would otherwise hold it for hours.
    int64_t timeLimitMs = 0;
    BodySink sink;
    ProgressHook progress;  // may be empty
};

// Returns an LU_* code.
int32_t Get(const Request& request);

// Every transfer from now on stops at its next progress point.
void StopAll();
bool Stopped();

}  // namespace http_fetch

#endif  // REFRESH_HTTP_FETCH_H
