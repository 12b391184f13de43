#include "bedrock/bas_zip.h"

#include <bedrock/unique_fd.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

// ZIP's 32-bit sizes; glog starts a new log at 20 MB, so a crashed run's
// files stay far below this.
constexpr int64_t kMaxEntryBytes = 1024LL * 1024 * 1024;
constexpr size_t kChunkBytes = 64 * 1024;

void Put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

using Fd = bedrock::UniqueFd;

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// MS-DOS date and time of a modification time.
void DosTime(time_t t, uint16_t& time, uint16_t& date) {
    tm local{};
    localtime_r(&t, &local);
    time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    date = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
}

// The fixed part of a local header or a central directory entry, from the
// CRC on: CRC, compressed size, size.
void PutSizes(std::string& out, uint32_t crc, uint32_t packed, uint32_t size) {
    Put32(out, crc);
    Put32(out, packed);
    Put32(out, size);
}

// One entry, streamed: its local header, its data deflated a chunk at a
// time straight into the archive, then the header's CRC and sizes written
// in place. Appends the entry's central directory record.
bool WriteEntry(int out, off_t& offset, const BASZipEntry& entry, std::string& directory) {
    // Only regular files, never through a link; opened without blocking, so
    // a FIFO swapped in cannot hang the helper.
    Fd in(open(entry.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK));
    struct stat st{};
    if (in.get() < 0 || fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxEntryBytes) return false;
    uint16_t time = 0, date = 0;
    DosTime(st.st_mtime, time, date);

    const off_t headerAt = offset;
    std::string header;
    Put32(header, 0x04034b50);
    Put16(header, 20);      // version needed
    Put16(header, 0x0800);  // UTF-8 names
    Put16(header, 8);       // deflate
    Put16(header, time);
    Put16(header, date);
    PutSizes(header, 0, 0, 0);  // filled in once the data is written
    Put16(header, static_cast<uint32_t>(entry.nameInArchive.size()));
    Put16(header, 0);
    header += entry.nameInArchive;
    if (!WriteAll(out, header.data(), header.size())) return false;
    offset += static_cast<off_t>(header.size());

    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    std::vector<char> input(kChunkBytes), output(kChunkBytes);
    uLong crc = crc32(0, nullptr, 0);
    int64_t size = 0;
    int64_t packed = 0;
    bool ok = true;
    for (bool end = false; ok && !end;) {
        const ssize_t n = read(in.get(), input.data(), input.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        end = n == 0;
        size += n;
        if (size > kMaxEntryBytes) {
            ok = false;  // it grew past the limit while being read
            break;
        }
        crc = crc32(crc, reinterpret_cast<const Bytef*>(input.data()), static_cast<uInt>(n));
        z.next_in = reinterpret_cast<Bytef*>(input.data());
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = reinterpret_cast<Bytef*>(output.data());
            z.avail_out = static_cast<uInt>(output.size());
            const int rc = deflate(&z, end ? Z_FINISH : Z_NO_FLUSH);
            if (rc == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            const size_t have = output.size() - z.avail_out;
            ok = WriteAll(out, output.data(), have);
            packed += static_cast<int64_t>(have);
        } while (ok && z.avail_out == 0);
    }
    deflateEnd(&z);
    if (!ok || packed > kMaxEntryBytes) return false;
    offset += static_cast<off_t>(packed);

    std::string sizes;
    PutSizes(sizes, static_cast<uint32_t>(crc), static_cast<uint32_t>(packed), static_cast<uint32_t>(size));
    if (pwrite(out, sizes.data(), sizes.size(), headerAt + 14) != static_cast<ssize_t>(sizes.size())) return false;

    Put32(directory, 0x02014b50);
    Put16(directory, 0x031E);  // made by: Unix, 3.0
    Put16(directory, 20);
    Put16(directory, 0x0800);
    Put16(directory, 8);
    Put16(directory, time);
    Put16(directory, date);
    PutSizes(directory, static_cast<uint32_t>(crc), static_cast<uint32_t>(packed), static_cast<uint32_t>(size));
    Put16(directory, static_cast<uint32_t>(entry.nameInArchive.size()));
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put32(directory, 0100644u << 16);
    Put32(directory, static_cast<uint32_t>(headerAt));
    directory += entry.nameInArchive;
    return true;
}

}  // namespace

bool BASWriteZip(const std::string& zipPath, const std::vector<BASZipEntry>& entries) {
    // A fresh name of our own (mkostemp: O_EXCL, mode 0600, never through a
    // link), then put in place without replacing anything.
    std::string pattern = zipPath + ".part-XXXXXX";
    Fd out(mkostemp(pattern.data(), O_CLOEXEC));
    if (out.get() < 0) return false;
    const std::string tmp = pattern;
    bool ok = fchmod(out.get(), 0600) == 0;

    std::string directory;
    off_t offset = 0;
    for (const BASZipEntry& entry : entries) {
        if (!ok) break;
        ok = WriteEntry(out.get(), offset, entry, directory);
    }
    // The archive's 32-bit offsets.
    ok = ok && offset + static_cast<off_t>(directory.size()) < 0xFFFFFFFFLL;
    if (ok) {
        std::string end = directory;
        Put32(end, 0x06054b50);
        Put16(end, 0);
        Put16(end, 0);
        Put16(end, static_cast<uint32_t>(entries.size()));
        Put16(end, static_cast<uint32_t>(entries.size()));
        Put32(end, static_cast<uint32_t>(directory.size()));
        Put32(end, static_cast<uint32_t>(offset));
        Put16(end, 0);
        ok = WriteAll(out.get(), end.data(), end.size());
    }
    ok = out.Close() && ok;
    if (ok) ok = renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, zipPath.c_str(), RENAME_NOREPLACE) == 0;
    if (!ok) unlink(tmp.c_str());
    return ok;
}
