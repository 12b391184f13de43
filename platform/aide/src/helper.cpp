#include "aide/helper.h"

#include <bedrock/bas_utility_string.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

namespace Helper {

std::string WStringToUtf8(const std::u16string& wide) { return BASUtilityString::Utf16ToUtf8(wide); }

std::u16string Utf8ToWString(const std::string& utf8) { return BASUtilityString::Utf8ToUtf16(utf8); }

bool ReadFileInMemory(const std::u16string& path, std::string& out) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(WStringToUtf8(path).c_str(), "rb"), fclose);
    if (!f) return false;
    out.clear();
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f.get())) > 0) out.append(buf, n);
    return !ferror(f.get());
}

bool WriteMemoryToFile(const std::u16string& path, const std::string& bytes) {
    const std::string target = WStringToUtf8(path);
    std::string pattern = target + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return false;
    const char* p = bytes.data();
    size_t left = bytes.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    ok = (fsync(fd) == 0) && ok;
    ok = (close(fd) == 0) && ok;
    if (ok) ok = rename(name.data(), target.c_str()) == 0;
    if (!ok) unlink(name.data());
    return ok;
}

}  // namespace Helper
