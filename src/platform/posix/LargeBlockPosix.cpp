// Large pages for large blocks, where the kernel offers them on request (transparent huge pages
// in "madvise" mode): only the 2 MB-aligned part inside the block is advised.
#include "platform/Platform.h"

#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>

namespace platform {

void adviseLargeBlock(void* block, std::size_t size) {
#ifdef MADV_HUGEPAGE
    const std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t from = (start + huge - 1) & ~(huge - 1);
    const std::uintptr_t to = (start + size) & ~(huge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

void prepareToWrite(void* from, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    // Whole pages inside the range only: the pages at its ends may belong to other blocks, and
    // a failure (an older kernel) costs nothing but the faults it would have saved.
    const std::uintptr_t page = 4096;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(from);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1);
    const std::uintptr_t end = (start + size) & ~(page - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
    (void)from;
    (void)size;
#endif
}

void keepFreedLargeBlocks() {
#ifdef M_MMAP_THRESHOLD
    mallopt(M_MMAP_THRESHOLD, 32 << 20); // the largest value the allocator takes
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

} // namespace platform
