// How much memory a conversion may use: what the kernel says is available,
// within the container's limit if there is one.
#ifndef PHOTOCODEC_MEMORY_BUDGET_H
#define PHOTOCODEC_MEMORY_BUDGET_H

#include <cstdint>

namespace photocodec {

uint64_t availableMemoryBytes();

}  // namespace photocodec

#endif  // PHOTOCODEC_MEMORY_BUDGET_H
