// Text conversions and formatting. Texts that these functions allocate are
// released with Free.
#ifndef BEDROCK_BAS_UTILITY_STRING_H
#define BEDROCK_BAS_UTILITY_STRING_H

#include "bedrock_export.h"

#include <string>

class BEDROCK_EXPORT BASUtilityString {
public:
    static char16_t* ConvertUtf8ToUnicode(const char* utf8);
    static char* ConvertUnicodeToUtf8(const char16_t* wide);
    // The ANSI code page is UTF-8 here: a plain copy.
    static char* ConvertUtf8ToAnsi(const char* utf8);
    static void Free(void* text);

    // Invalid sequences become U+FFFD: check with IsValidUtf8 first where a
    // path must survive the round trip.
    static std::u16string Utf8ToUtf16(const std::string& utf8);
    // Well-formed UTF-8: no stray or cut sequences, no overlong forms, no
    // surrogates, nothing past U+10FFFF.
    static bool IsValidUtf8(const std::string& text);
    static std::string Utf16ToUtf8(const std::u16string& wide);

    // printf-style formatting of the conversions the system uses: %d, %u,
    // %lld, %I64d, %s, %f with flags, width and precision, and %%. In the
    // wide form %s takes a char16_t text; in the narrow form a char text.
    static std::string Format(const char* format, ...);
    static std::u16string Format(const char16_t* format, ...);

    // Dot-separated numbers compared numerically: -1 when `a` is older than
    // `b`, 0 when equal, 1 when newer. Missing parts count as 0.
    static int CompareVersion(const std::string& a, const std::string& b);
};

#endif  // BEDROCK_BAS_UTILITY_STRING_H
