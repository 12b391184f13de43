#include "file_uri.h"

#include <vector>

namespace photocodec {

namespace {

// What GLib leaves unescaped in a path: letters, digits and the marks
// below; everything else, and every byte of a non-ASCII letter, becomes
// "%XX" in capitals.
bool keptInPath(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    switch (c) {
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case '=':
    case '@':
    case '_':
    case '~':
        return true;
    default:
        return false;
    }
}

}  // namespace

std::string lexicallyNormal(const std::string& absolutePath)
{
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= absolutePath.size()) {
        size_t slash = absolutePath.find('/', at);
        if (slash == std::string::npos) {
            slash = absolutePath.size();
        }
        std::string part = absolutePath.substr(at, slash - at);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        at = slash + 1;
    }
    std::string out;
    for (const std::string& part : parts) {
        out += "/" + part;
    }
    return out.empty() ? "/" : out;
}

std::string fileUri(const std::string& absolutePath)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : lexicallyNormal(absolutePath)) {
        if (keptInPath(c)) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

}  // namespace photocodec
