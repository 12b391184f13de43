// Which URLs the update client may talk to: HTTPS anywhere, plain HTTP only
// to this machine (the tests' servers). Applied to the feed, to every
// redirect and to the package.
#ifndef REFRESH_URL_POLICY_H
#define REFRESH_URL_POLICY_H

#include <string>

namespace url_policy {

// True for an absolute URL with a host.
bool IsUrl(const std::string& url);
// True for https://host/... and for http:// to localhost, 127.0.0.0/8 or ::1.
bool IsAllowed(const std::string& url);
// `reference` resolved against `base` (a relative path, or an absolute URL
// that is returned as it is). Empty when either is not a URL.
std::string Resolve(const std::string& base, const std::string& reference);
// RFC 3986 percent-encoding of everything but the unreserved characters.
std::string Escape(const std::string& text);
// The last path segment of a URL, without query or fragment; empty if none.
std::string LastSegment(const std::string& url);

}  // namespace url_policy

#endif  // REFRESH_URL_POLICY_H
