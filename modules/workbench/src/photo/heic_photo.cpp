#include "photo/heic_photo.h"

#include <bedrock/bas_utility_string.h>

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

std::u16string FileDateText(const std::u16string& path) {
    struct stat st{};
    if (stat(BASUtilityString::Utf16ToUtf8(path).c_str(), &st) != 0) return {};
    struct tm local{};
    const time_t modified = st.st_mtime;
    if (localtime_r(&modified, &local) == nullptr) return {};
    char text[64];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
             local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return BASUtilityString::Utf8ToUtf16(text);
}
