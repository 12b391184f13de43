// MD5 (RFC 1321), for the names of thumbnail cache entries only: the
// standard names them by the MD5 of the photo's URI. Not for anything that
// must resist an attacker.
#ifndef PHOTOCODEC_MD5_H
#define PHOTOCODEC_MD5_H

#include <string>

namespace photocodec {

// The 32 lower-case hex digits of the MD5 of `text`.
std::string md5Hex(const std::string& text);

}  // namespace photocodec

#endif  // PHOTOCODEC_MD5_H
