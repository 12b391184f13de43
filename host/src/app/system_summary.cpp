#include "system_summary.h"

#include "product_identity.h"

#include <bedrock/bas_json.h>

#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>

namespace {

// MemAvailable is what the system could hand out now; sysinfo's freeram
// leaves out the page cache and undercounts it badly.
bool ReadMemInfo(uint64_t& available, uint64_t& total) {
    FILE* f = fopen("/proc/meminfo", "r");
    if (!f) return false;
    char line[256];
    bool haveAvailable = false, haveTotal = false;
    while (fgets(line, sizeof line, f)) {
        unsigned long long kb = 0;
        if (sscanf(line, "MemAvailable: %llu kB", &kb) == 1) { available = kb * 1024; haveAvailable = true; }
        if (sscanf(line, "MemTotal: %llu kB", &kb) == 1) { total = kb * 1024; haveTotal = true; }
    }
    fclose(f);
    return haveAvailable && haveTotal;
}

}  // namespace

std::string BuildSystemSummary() {
    rapidjson::Document doc;
    doc.SetObject();
    auto& a = doc.GetAllocator();
    AddJsonDictStringValue(doc, "Product", product::DisplayName(), a);
    AddJsonDictStringValue(doc, "Version", product::kVersion, a);
    std::string system;
    utsname u{};
    if (uname(&u) == 0) system = std::string(u.sysname) + " " + u.release;
    AddJsonDictStringValue(doc, "System", system, a);
    uint64_t available = 0, total = 0;
    if (!ReadMemInfo(available, total)) {
        struct sysinfo info{};
        if (sysinfo(&info) == 0) {
            available = static_cast<uint64_t>(info.freeram) * info.mem_unit;
            total = static_cast<uint64_t>(info.totalram) * info.mem_unit;
        }
    }
    AddJsonDictUInt64Value(doc, "FreeMemSize", available, a);
    AddJsonDictUInt64Value(doc, "TotalMemSize", total, a);
    return ToString(doc);
}
