#include "xmp_packet.h"

#include <cctype>

namespace photocodec {

namespace {

bool isNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '_' || c == '-' || c == '.';
}

// Replaces the value of every `name="…"` attribute and `<name>…</name>`
// element.
std::string replaceValue(const std::string& xmp, const std::string& name, const std::string& value)
{
    std::string out;
    out.reserve(xmp.size() + 16);
    size_t pos = 0;
    for (;;) {
        size_t hit = xmp.find(name, pos);
        if (hit == std::string::npos) {
            break;
        }
        size_t after = hit + name.size();
        bool wholeName = (hit == 0 || !isNameChar(xmp[hit - 1])) && (after >= xmp.size() || !isNameChar(xmp[after]));
        if (!wholeName) {
            out.append(xmp, pos, after - pos);
            pos = after;
            continue;
        }
        size_t i = after;
        while (i < xmp.size() && std::isspace(static_cast<unsigned char>(xmp[i])) != 0) {
            ++i;
        }
        size_t valueStart = std::string::npos;
        size_t valueEnd = std::string::npos;
        if (i < xmp.size() && xmp[i] == '=' && (hit == 0 || xmp[hit - 1] != '<')) {
            ++i;
            while (i < xmp.size() && std::isspace(static_cast<unsigned char>(xmp[i])) != 0) {
                ++i;
            }
            if (i < xmp.size() && (xmp[i] == '"' || xmp[i] == '\'')) {
                size_t close = xmp.find(xmp[i], i + 1);
                if (close != std::string::npos) {
                    valueStart = i + 1;
                    valueEnd = close;
                }
            }
        } else if (i < xmp.size() && xmp[i] == '>' && hit > 0 && xmp[hit - 1] == '<') {
            size_t close = xmp.find('<', i + 1);
            if (close != std::string::npos) {
                valueStart = i + 1;
                valueEnd = close;
            }
        }
        if (valueStart == std::string::npos) {
            out.append(xmp, pos, after - pos);
            pos = after;
            continue;
        }
        out.append(xmp, pos, valueStart - pos);
        out += value;
        pos = valueEnd;
    }
    out.append(xmp, pos, std::string::npos);
    return out;
}

}  // namespace

std::string adjustXmp(const std::string& xmp, uint32_t width, uint32_t height)
{
    std::string out = replaceValue(xmp, "tiff:Orientation", "1");
    out = replaceValue(out, "exif:PixelXDimension", std::to_string(width));
    out = replaceValue(out, "exif:PixelYDimension", std::to_string(height));
    out = replaceValue(out, "tiff:ImageWidth", std::to_string(width));
    out = replaceValue(out, "tiff:ImageLength", std::to_string(height));
    return out;
}

}  // namespace photocodec
