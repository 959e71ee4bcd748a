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

void keepFreedLargeBlocks() {
#ifdef M_MMAP_THRESHOLD
    mallopt(M_MMAP_THRESHOLD, 32 << 20); // the largest value the allocator takes
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

} // namespace platform
