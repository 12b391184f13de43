#include "bedrock/bas_zip.h"

#include "bedrock/bas_utility_file.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

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
        if (!BASUtilityFile::ReadWholeFile(entry.path, data) || !Deflate(data, packed)) return false;
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

    const std::string tmp = zipPath + ".part";
    {
        std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(tmp.c_str(), "wb"), fclose);
        if (!f || fwrite(archive.data(), 1, archive.size(), f.get()) != archive.size()) {
            remove(tmp.c_str());
            return false;
        }
    }
    if (rename(tmp.c_str(), zipPath.c_str()) != 0) {
        remove(tmp.c_str());
        return false;
    }
    return true;
}
