#include "bedrock/bas_utility_file.h"

#include "bedrock/bas_utility_string.h"

#include "bedrock/bas_utility_sys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool Exists(const std::string& path) {
    struct stat st{};
    return lstat(path.c_str(), &st) == 0;
}

struct FdCloser {
    int fd;
    ~FdCloser() { close(fd); }
};

char16_t* Dup(const std::u16string& s) {
    auto* out = static_cast<char16_t*>(malloc((s.size() + 1) * sizeof(char16_t)));
    if (out) memcpy(out, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    return out;
}

}  // namespace

std::string BASUtilityFile::ResolvePath(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) return path;
    std::error_code ec;
    std::string absolute = fs::absolute(path, ec).string();
    if (ec) return path;
    while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
    const fs::path whole(absolute);
    const fs::path name = whole.filename();
    // weakly_canonical resolves what exists as the kernel would and leaves
    // the rest, made plain, after it.
    auto resolved = [&ec](const fs::path& p) {
        const fs::path real = fs::weakly_canonical(p, ec);
        return ec ? p.lexically_normal() : real;
    };
    if (name.empty() || name == "." || name == "..") return resolved(whole).string();
    fs::path folder = resolved(whole.parent_path());
    return (folder / name).string();
}

bool BASUtilityFile::IsFileExist(const std::u16string& path) {
    return !path.empty() && Exists(BASUtilityString::Utf16ToUtf8(path));
}

int64_t BASUtilityFile::GetFileSize(const std::u16string& path) {
    struct stat st{};
    if (stat(BASUtilityString::Utf16ToUtf8(path).c_str(), &st) != 0) return 0;
    return static_cast<int64_t>(st.st_size);
}

char16_t* BASUtilityFile::GetFilePathNewName(const char16_t* wanted) {
    if (!wanted) return nullptr;
    const std::u16string path(wanted);
    if (!Exists(BASUtilityString::Utf16ToUtf8(path))) return Dup(path);

    // Split at the last dot of the file name (not of a folder).
    const size_t slash = path.rfind(u'/');
    const size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
    size_t dot = path.rfind(u'.');
    if (dot == std::u16string::npos || dot <= nameStart) dot = path.size();
    const std::u16string stem = path.substr(0, dot);
    const std::u16string ext = path.substr(dot);
    for (unsigned n = 1; n < 1000000; ++n) {
        const std::u16string candidate = stem + u" (" + BASUtilityString::Utf8ToUtf16(std::to_string(n)) + u")" + ext;
        if (!Exists(BASUtilityString::Utf16ToUtf8(candidate))) return Dup(candidate);
    }
    return nullptr;
}

std::u16string BASUtilityFile::ZLGetFormatSizeFromBytes(int64_t bytes) {
    if (bytes < 0) bytes = 0;
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    char buf[64];
    if (bytes < 1024) {
        snprintf(buf, sizeof buf, "%lld B", static_cast<long long>(bytes));
    } else {
        double value = static_cast<double>(bytes) / 1024.0;
        int unit = 0;
        while (value >= 1024.0 && unit < 3) {
            value /= 1024.0;
            ++unit;
        }
        snprintf(buf, sizeof buf, "%.2f %s", value, units[unit]);
    }
    return BASUtilityString::Utf8ToUtf16(buf);
}

BASUtilityFile::ReadStatus BASUtilityFile::ReadRegularFile(const std::string& path, std::string& out,
                                                           int64_t maxBytes, std::string* error, bool followLinks) {
    out.clear();
    auto fail = [&](ReadStatus status, const std::string& why) {
        if (error) *error = why;
        out.clear();
        return status;
    };
    auto failErrno = [&](const char* what) {
        const int e = errno;
        return fail(e == ENOENT || e == ENOTDIR ? ReadStatus::Missing : ReadStatus::Unreadable,
                    std::string(what) + ": " + strerror(e));
    };
    // Looked at before it is opened: opening a FIFO blocks for a writer, and
    // opening some devices has effects of its own.
    struct stat st{};
    if ((followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) return failErrno("cannot find it");
    if (!S_ISREG(st.st_mode)) return fail(ReadStatus::NotRegularFile, "it is not a regular file");
    if (st.st_size > maxBytes) return fail(ReadStatus::TooLarge, "it is larger than " + std::to_string(maxBytes) + " bytes");

    // O_NONBLOCK: should a FIFO be swapped in meanwhile, the open still
    // returns, and the fstat below refuses it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) return failErrno("cannot open it");
    const FdCloser closer{fd};
    if (fstat(fd, &st) != 0) return failErrno("cannot read it");
    if (!S_ISREG(st.st_mode)) return fail(ReadStatus::NotRegularFile, "it is not a regular file");
    if (st.st_size > maxBytes) return fail(ReadStatus::TooLarge, "it is larger than " + std::to_string(maxBytes) + " bytes");

    out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return failErrno("cannot read it");
        }
        out.append(buf, static_cast<size_t>(n));
        if (static_cast<int64_t>(out.size()) > maxBytes) {
            return fail(ReadStatus::TooLarge, "it grew past " + std::to_string(maxBytes) + " bytes while being read");
        }
    }
    return ReadStatus::Ok;
}

bool BASUtilityFile::ReadWholeFile(const std::string& path, std::string& out) {
    return ReadRegularFile(path, out, kMaxDataFileBytes) == ReadStatus::Ok;
}

bool BASUtilityFile::WriteFileAtomically(const std::string& path, const std::string& bytes) {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos) BASUtilitySys::MakeDirs(BASUtilityString::Utf8ToUtf16(path.substr(0, slash + 1)));
    std::string pattern = path + ".XXXXXX";
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
    if (ok) ok = rename(name.data(), path.c_str()) == 0;
    if (!ok) unlink(name.data());
    return ok;
}
