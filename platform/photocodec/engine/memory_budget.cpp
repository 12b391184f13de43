#include "memory_budget.h"

#include <sys/sysinfo.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace photocodec {

namespace {

bool readNumber(const char* path, uint64_t& value)
{
    std::ifstream in(path);
    std::string text;
    if (!(in >> text) || text == "max") {
        return false;
    }
    try {
        value = std::stoull(text);
    } catch (...) {
        return false;
    }
    return true;
}

}  // namespace

uint64_t availableMemoryBytes()
{
    uint64_t available = 0;
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t kilobytes = 0;
    std::string unit;
    while (meminfo >> key >> kilobytes >> unit) {
        if (key == "MemAvailable:") {
            available = kilobytes * 1024;
            break;
        }
    }
    if (available == 0) {
        struct sysinfo info {};
        if (sysinfo(&info) == 0) {
            available = (static_cast<uint64_t>(info.freeram) + info.bufferram) * info.mem_unit;
        }
    }
    // A container's own limit counts too (cgroup v2).
    uint64_t limit = 0;
    uint64_t used = 0;
    if (readNumber("/sys/fs/cgroup/memory.max", limit) && readNumber("/sys/fs/cgroup/memory.current", used)) {
        uint64_t left = limit > used ? limit - used : 0;
        available = available == 0 ? left : std::min(available, left);
    }
    return available;
}

}  // namespace photocodec
