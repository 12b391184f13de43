#include "http_fetch.h"

#include "url_policy.h"

#include <refresh/lu_refresh.h>

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <memory>

namespace http_fetch {
namespace {

constexpr int kMaxRedirects = 5;
constexpr long kConnectTimeoutS = 15;
// Slower than this for this long is a dead connection.
constexpr long kLowSpeedBytesPerS = 64;
constexpr long kLowSpeedTimeS = 30;

std::atomic<bool> stopped{false};

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

// libcurl's global set-up is not thread-safe: it runs when the library is
// loaded, before the program starts any thread, and on that thread, so
// OpenSSL's state for it is released at exit.
const bool curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;

// What the callbacks of one hop share.
struct Hop {
    CURL* easy = nullptr;
    const Request* request = nullptr;
    int64_t received = 0;
    bool tooLarge = false;
    bool sinkFailed = false;
    bool cancelled = false;
};

long Status(CURL* easy) {
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    Hop& hop = *static_cast<Hop*>(user);
    const size_t bytes = size * count;
    if (stopped.load()) {
        hop.cancelled = true;
        return 0;
    }
    // A redirect's or an error's body is not the file; it still counts
    // toward the limit so that no answer can be endless.
    hop.received += static_cast<int64_t>(bytes);
    if (hop.received > hop.request->maxBytes) {
        hop.tooLarge = true;
        return 0;
    }
    if (Status(hop.easy) != 200) return bytes;
    if (!hop.request->sink(data, bytes)) {
        hop.sinkFailed = true;
        return 0;
    }
    return bytes;
}

int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    Hop& hop = *static_cast<Hop*>(user);
    if (stopped.load()) {
        hop.cancelled = true;
        return 1;
    }
    if (hop.request->progress && !hop.request->progress(static_cast<double>(total), static_cast<double>(now))) {
        hop.cancelled = true;
        return 1;
    }
    return 0;
}

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

void StopAll() { stopped.store(true); }
bool Stopped() { return stopped.load(); }

int32_t Get(const Request& request) {
    if (!curlReady) return LU_NETWORK_ERROR;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(request.timeLimitMs);
    std::string url = request.url;
    for (int redirects = 0;; ++redirects) {
        if (stopped.load()) return LU_CANCELLED;
        if (!url_policy::IsAllowed(url)) return LU_URL_REFUSED;
        long timeLeftMs = 0;  // curl: 0 is no limit
        if (request.timeLimitMs > 0) {
            timeLeftMs = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (timeLeftMs <= 0) return LU_NETWORK_ERROR;
        }
        EasyHandle easy(curl_easy_init());
        if (!easy) return LU_NETWORK_ERROR;
        Hop hop;
        hop.easy = easy.get();
        hop.request = &request;
        CURL* e = easy.get();
        curl_easy_setopt(e, CURLOPT_URL, url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerS);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeS);
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, timeLeftMs);
        curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBytes));
        curl_easy_setopt(e, CURLOPT_USERAGENT, "libRefresh/1.0");
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &hop);
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &OnProgress);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, &hop);
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
        const CURLcode code = curl_easy_perform(e);
        const long status = Status(e);

        if (hop.cancelled || code == CURLE_ABORTED_BY_CALLBACK) return LU_CANCELLED;
        if (hop.tooLarge || code == CURLE_FILESIZE_EXCEEDED) return LU_TOO_LARGE;
        if (hop.sinkFailed) return LU_FILE_ERROR;
        if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT) return LU_URL_REFUSED;
        if (code != CURLE_OK) return LU_NETWORK_ERROR;
        if (IsRedirect(status)) {
            char* next = nullptr;
            curl_easy_getinfo(e, CURLINFO_REDIRECT_URL, &next);
            if (!next || redirects >= kMaxRedirects) return LU_URL_REFUSED;
            url = next;
            continue;
        }
        return status == 200 ? LU_OK : LU_HTTP_ERROR;
    }
}

}  // namespace http_fetch
