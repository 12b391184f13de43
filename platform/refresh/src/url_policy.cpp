#include "url_policy.h"

#include <curl/curl.h>

#include <arpa/inet.h>

#include <cstring>
#include <memory>

namespace url_policy {
namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlText {
    char* text = nullptr;
    ~CurlText() { curl_free(text); }
};

std::string Part(CURLU* url, CURLUPart part) {
    CurlText out;
    if (curl_url_get(url, part, &out.text, 0) != CURLUE_OK || !out.text) return {};
    return out.text;
}

UrlHandle Parse(const std::string& text) {
    UrlHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return nullptr;
    return url;
}

bool IsLoopback(std::string host) {
    if (host == "localhost") return true;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
    return false;
}

}  // namespace

bool IsUrl(const std::string& text) {
    UrlHandle url = Parse(text);
    return url && !Part(url.get(), CURLUPART_HOST).empty();
}

bool IsAllowed(const std::string& text) {
    UrlHandle url = Parse(text);
    if (!url) return false;
    std::string scheme = Part(url.get(), CURLUPART_SCHEME);
    const std::string host = Part(url.get(), CURLUPART_HOST);
    if (host.empty()) return false;
    for (char& c : scheme) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (scheme == "https") return true;
    return scheme == "http" && IsLoopback(host);
}

std::string Resolve(const std::string& base, const std::string& reference) {
    UrlHandle url = Parse(base);
    if (!url || reference.empty()) return {};
    if (curl_url_set(url.get(), CURLUPART_URL, reference.c_str(), 0) != CURLUE_OK) return {};
    return Part(url.get(), CURLUPART_URL);
}

std::string Escape(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string LastSegment(const std::string& text) {
    UrlHandle url = Parse(text);
    if (!url) return {};
    const std::string path = Part(url.get(), CURLUPART_PATH);
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace url_policy
