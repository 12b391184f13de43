// One helper kept ready for the next decoder of this process: started
// ahead of need (when the photo module loads) and handed back by a decoder
// that ends with its helper well and idle. The first photo of a batch or
// of a thumbnail run then goes to work at once instead of waiting for a
// helper to start, and no helper start or exit sits between two batches.
// Only the helper beside the library is kept. While PIXBRIDGE_HEIF_WORKER
// names a helper (a test's stand-in, or a benchmark that measures fresh
// helpers), every decoder starts its own.
#ifndef PHOTOCODEC_SPARE_HELPER_H
#define PHOTOCODEC_SPARE_HELPER_H

#include <string>

#include "helper_process.h"

namespace photocodec::spare_helper {

// Starts the spare, without waiting for it, unless there is one.
void prepare();

// The spare, if there is one fit to run `program`; else an empty helper.
HelperProcess take(const std::string& program);

// A helper with nothing under way: kept as the spare if it is fit and the
// place is free, ended otherwise.
void giveBack(HelperProcess helper);

}  // namespace photocodec::spare_helper

#endif  // PHOTOCODEC_SPARE_HELPER_H
