#include "bedrock/bas_utility_string.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::u16string DecodeUtf8(const char* s, size_t n) {
    std::u16string out;
    out.reserve(n);
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        int extra = 0;
        uint32_t cp = 0, min = 0;
        if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; min = 0x80; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; min = 0x800; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; min = 0x10000; }
        else { out.push_back(kReplacement); ++i; continue; }
        size_t j = 1;
        for (; j <= static_cast<size_t>(extra); ++j) {
            if (i + j >= n || (p[i + j] & 0xC0) != 0x80) break;
            cp = (cp << 6) | (p[i + j] & 0x3F);
        }
        if (j <= static_cast<size_t>(extra) || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            // One replacement for the maximal invalid prefix, as the platform
            // converters do.
            out.push_back(kReplacement);
            i += (j > 1) ? j : 1;
            continue;
        }
        AppendUtf16(out, cp);
        i += j;
    }
    return out;
}

std::string EncodeUtf8(const char16_t* s, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

size_t Length16(const char16_t* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

// One conversion of a format: flags, width, precision, length and letter.
struct Conversion {
    std::string flags;  // the printf text of the conv without length and letter
    int width = -1;
    int precision = -1;
    bool leftAlign = false;
    int longness = 0;   // 0 int, 1 long, 2 long long
    char letter = 0;
};

// Reads a conv starting just after '%'. Returns the index after it, or npos.
template <typename Char>
size_t ParseConversion(const Char* f, size_t i, Conversion& conv, va_list& args) {
    conv.flags = "%";
    while (f[i] == '-' || f[i] == '+' || f[i] == ' ' || f[i] == '#' || f[i] == '0') {
        if (f[i] == '-') conv.leftAlign = true;
        conv.flags.push_back(static_cast<char>(f[i++]));
    }
    if (f[i] == '*') {
        conv.width = va_arg(args, int);
        conv.flags += std::to_string(conv.width);
        ++i;
    } else {
        int w = -1;
        while (f[i] >= '0' && f[i] <= '9') {
            w = (w < 0 ? 0 : w * 10) + (f[i] - '0');
            conv.flags.push_back(static_cast<char>(f[i++]));
        }
        conv.width = w;
    }
    if (f[i] == '.') {
        conv.flags.push_back('.');
        ++i;
        int p = 0;
        if (f[i] == '*') {
            p = va_arg(args, int);
            conv.flags += std::to_string(p);
            ++i;
        } else {
            while (f[i] >= '0' && f[i] <= '9') {
                p = p * 10 + (f[i] - '0');
                conv.flags.push_back(static_cast<char>(f[i++]));
            }
        }
        conv.precision = p;
    }
    if (f[i] == 'I' && f[i + 1] == '6' && f[i + 2] == '4') {
        conv.longness = 2;
        i += 3;
    } else if (f[i] == 'l' && f[i + 1] == 'l') {
        conv.longness = 2;
        i += 2;
    } else if (f[i] == 'l' || f[i] == 'z') {
        conv.longness = 1;
        ++i;
    } else if (f[i] == 'h') {
        ++i;
        if (f[i] == 'h') ++i;
    }
    if (!f[i]) return std::string::npos;
    conv.letter = static_cast<char>(f[i]);
    return i + 1;
}

// Formats a numeric conversion with snprintf; false for an unknown letter.
bool FormatNumber(const Conversion& conv, va_list& args, std::string& out) {
    std::string fmt = conv.flags;
    char buf[512];
    int n = 0;
    switch (conv.letter) {
    case 'd': case 'i':
        if (conv.longness == 2) { fmt += "lld"; n = snprintf(buf, sizeof buf, fmt.c_str(), va_arg(args, long long)); }
        else if (conv.longness == 1) { fmt += "ld"; n = snprintf(buf, sizeof buf, fmt.c_str(), va_arg(args, long)); }
        else { fmt += "d"; n = snprintf(buf, sizeof buf, fmt.c_str(), va_arg(args, int)); }
        break;
    case 'u': case 'x': case 'X': case 'o': {
        const char letter[2] = {conv.letter, 0};
        if (conv.longness == 2) { fmt += "ll"; fmt += letter; n = snprintf(buf, sizeof buf, fmt.c_str(), va_arg(args, unsigned long long)); }
        else if (conv.longness == 1) { fmt += "l"; fmt += letter; n = snprintf(buf, sizeof buf, fmt.c_str(), va_arg(args, unsigned long)); }
        else { fmt += letter; n = snprintf(buf, sizeof buf, fmt.c_str(), va_arg(args, unsigned int)); }
        break;
    }
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': {
        const char letter[2] = {conv.letter, 0};
        fmt += letter;
        n = snprintf(buf, sizeof buf, fmt.c_str(), va_arg(args, double));
        break;
    }
    case 'c':
        fmt += "c";
        n = snprintf(buf, sizeof buf, fmt.c_str(), va_arg(args, int));
        break;
    case 'p':
        fmt += "p";
        n = snprintf(buf, sizeof buf, fmt.c_str(), va_arg(args, void*));
        break;
    default:
        return false;
    }
    if (n > 0) out.append(buf, static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1);
    return true;
}

template <typename Str>
void Pad(Str& piece, const Conversion& conv) {
    if (conv.width > 0 && piece.size() < static_cast<size_t>(conv.width)) {
        const size_t fill = static_cast<size_t>(conv.width) - piece.size();
        if (conv.leftAlign) piece.append(fill, ' ');
        else piece.insert(0, fill, ' ');
    }
}

}  // namespace

std::u16string BASUtilityString::Utf8ToUtf16(const std::string& utf8) {
    return DecodeUtf8(utf8.data(), utf8.size());
}

bool BASUtilityString::IsValidUtf8(const std::string& text) {
    // Valid exactly when decoding needs no replacement character for a
    // sequence that was not itself U+FFFD.
    const std::u16string wide = DecodeUtf8(text.data(), text.size());
    return EncodeUtf8(wide.data(), wide.size()) == text;
}

std::string BASUtilityString::Utf16ToUtf8(const std::u16string& wide) {
    return EncodeUtf8(wide.data(), wide.size());
}

char16_t* BASUtilityString::ConvertUtf8ToUnicode(const char* utf8) {
    const std::u16string wide = utf8 ? DecodeUtf8(utf8, strlen(utf8)) : std::u16string();
    auto* out = static_cast<char16_t*>(malloc((wide.size() + 1) * sizeof(char16_t)));
    if (!out) return nullptr;
    memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return out;
}

char* BASUtilityString::ConvertUnicodeToUtf8(const char16_t* wide) {
    const std::string utf8 = wide ? EncodeUtf8(wide, Length16(wide)) : std::string();
    return strdup(utf8.c_str());
}

char* BASUtilityString::ConvertUtf8ToAnsi(const char* utf8) { return strdup(utf8 ? utf8 : ""); }

void BASUtilityString::Free(void* text) { free(text); }

std::string BASUtilityString::Format(const char* format, ...) {
    std::string out;
    if (!format) return out;
    va_list args;
    va_start(args, format);
    for (size_t i = 0; format[i];) {
        if (format[i] != '%') { out.push_back(format[i++]); continue; }
        if (format[i + 1] == '%') { out.push_back('%'); i += 2; continue; }
        Conversion conv;
        const size_t next = ParseConversion(format, i + 1, conv, args);
        if (next == std::string::npos) break;
        if (conv.letter == 's') {
            const char* s = va_arg(args, const char*);
            std::string piece = s ? s : "(null)";
            if (conv.precision >= 0 && piece.size() > static_cast<size_t>(conv.precision)) piece.resize(conv.precision);
            Pad(piece, conv);
            out += piece;
        } else if (!FormatNumber(conv, args, out)) {
            out.append(format + i, next - i);  // unknown conversion: kept as written
        }
        i = next;
    }
    va_end(args);
    return out;
}

std::u16string BASUtilityString::Format(const char16_t* format, ...) {
    std::u16string out;
    if (!format) return out;
    va_list args;
    va_start(args, format);
    for (size_t i = 0; format[i];) {
        if (format[i] != u'%') { out.push_back(format[i++]); continue; }
        if (format[i + 1] == u'%') { out.push_back(u'%'); i += 2; continue; }
        Conversion conv;
        const size_t next = ParseConversion(format, i + 1, conv, args);
        if (next == std::string::npos) break;
        if (conv.letter == 's') {
            const char16_t* s = va_arg(args, const char16_t*);
            std::u16string piece = s ? std::u16string(s) : std::u16string(u"(null)");
            if (conv.precision >= 0 && piece.size() > static_cast<size_t>(conv.precision)) piece.resize(conv.precision);
            Pad(piece, conv);
            out += piece;
        } else {
            std::string number;
            if (FormatNumber(conv, args, number)) {
                out += DecodeUtf8(number.data(), number.size());
            } else {
                out.append(format + i, next - i);
            }
        }
        i = next;
    }
    va_end(args);
    return out;
}

int BASUtilityString::CompareVersion(const std::string& a, const std::string& b) {
    auto parts = [](const std::string& v) {
        std::vector<unsigned long long> out;
        size_t i = 0;
        while (i <= v.size()) {
            size_t dot = v.find('.', i);
            if (dot == std::string::npos) dot = v.size();
            unsigned long long n = 0;
            for (size_t k = i; k < dot && v[k] >= '0' && v[k] <= '9'; ++k) n = n * 10 + (v[k] - '0');
            out.push_back(n);
            i = dot + 1;
        }
        while (!out.empty() && out.back() == 0) out.pop_back();
        return out;
    };
    const auto pa = parts(a), pb = parts(b);
    for (size_t i = 0; i < pa.size() || i < pb.size(); ++i) {
        const unsigned long long x = i < pa.size() ? pa[i] : 0;
        const unsigned long long y = i < pb.size() ? pb[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}
