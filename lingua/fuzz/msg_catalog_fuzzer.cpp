// Feeds arbitrary bytes to the MO catalogue reader. Run with
//   lingua_catalog_fuzzer -max_len=4096 corpus/
// A reader that stays inside the file never trips AddressSanitizer here.
#include "wx_msg_catalog.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wxMsgCatalog catalog;
    if (!catalog.ReadCatalogBytes(data, size)) return 0;
    // Every stored text must be readable to its terminator, and look-ups of
    // stored ids must find them.
    size_t total = 0;
    for (const auto& [id, translation] : catalog.GetTable()) {
        const char16_t* found = catalog.LookUp(id.c_str());
        if (!found) __builtin_trap();
        for (const char16_t* p = found; *p; ++p) ++total;
    }
    (void)catalog.LookUp(u"file");
    return total == static_cast<size_t>(-1) ? 1 : 0;
}
