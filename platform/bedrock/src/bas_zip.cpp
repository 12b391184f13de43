#include "bedrock/bas_zip.h"

#include "bedrock/bas_utility_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// A crash folder holds a dump, a summary and the day's logs (at most 20 MB
// each before glog starts a new file).
constexpr int64_t kMaxEntryBytes = 64 * 1024 * 1024;

void Put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool Deflate(const std::string& in, std::string& out) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END;
}

// MS-DOS date and time of a file's modification.
void DosTime(const std::string& path, uint16_t& time, uint16_t& date) {
    struct stat st{};
    time_t t = stat(path.c_str(), &st) == 0 ? st.st_mtime : ::time(nullptr);
    tm local{};
    localtime_r(&t, &local);
    time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    date = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
}

}  // namespace

bool BASWriteZip(const std::string& zipPath, const std::vector<BASZipEntry>& entries) {
    std::string archive, directory;
    for (const BASZipEntry& entry : entries) {
        std::string data, packed;
        // Only regular files, never through a link; logs may be larger than
        // a settings file, but not without end.
        if (BASUtilityFile::ReadRegularFile(entry.path, data, kMaxEntryBytes, nullptr, false) !=
                BASUtilityFile::ReadStatus::Ok ||
            !Deflate(data, packed)) {
            return false;
        }
        const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        uint16_t time = 0, date = 0;
        DosTime(entry.path, time, date);
        const uint32_t offset = static_cast<uint32_t>(archive.size());

        Put32(archive, 0x04034b50);
        Put16(archive, 20);  // version needed
        Put16(archive, 0x0800);  // UTF-8 names
        Put16(archive, 8);  // deflate
        Put16(archive, time);
        Put16(archive, date);
        Put32(archive, crc);
        Put32(archive, static_cast<uint32_t>(packed.size()));
        Put32(archive, static_cast<uint32_t>(data.size()));
        Put16(archive, static_cast<uint32_t>(entry.nameInArchive.size()));
        Put16(archive, 0);
        archive += entry.nameInArchive;
        archive += packed;

        Put32(directory, 0x02014b50);
        Put16(directory, 0x031E);  // made by: Unix, 3.0
        Put16(directory, 20);
        Put16(directory, 0x0800);
        Put16(directory, 8);
        Put16(directory, time);
        Put16(directory, date);
        Put32(directory, crc);
        Put32(directory, static_cast<uint32_t>(packed.size()));
        Put32(directory, static_cast<uint32_t>(data.size()));
        Put16(directory, static_cast<uint32_t>(entry.nameInArchive.size()));
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put32(directory, 0100644u << 16);
        Put32(directory, offset);
        directory += entry.nameInArchive;
    }
    const uint32_t directoryOffset = static_cast<uint32_t>(archive.size());
    archive += directory;
    Put32(archive, 0x06054b50);
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, static_cast<uint32_t>(entries.size()));
    Put16(archive, static_cast<uint32_t>(entries.size()));
    Put32(archive, static_cast<uint32_t>(directory.size()));
    Put32(archive, directoryOffset);
    Put16(archive, 0);

    // A fresh name of our own (mkostemp: O_EXCL, mode 0600, never through a
    // link), then put in place without replacing anything.
    std::string pattern = zipPath + ".part-XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const std::string tmp = pattern;
    bool ok = fchmod(fd, 0600) == 0;
    const char* p = archive.data();
    size_t left = archive.size();
    while (ok && left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    if (ok) ok = renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, zipPath.c_str(), RENAME_NOREPLACE) == 0;
    if (!ok) unlink(tmp.c_str());
    return ok;
}
