// Large pages for large blocks, where the kernel offers them on request (transparent huge pages
// in "madvise" mode): only the 2 MB-aligned part inside the block is advised.
#include "platform/Platform.h"

#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>

namespace platform {

namespace {
// Tells the kernel `advice` for the whole units of `unit` bytes inside [block, block + size):
// the units at its ends may belong to other blocks. A refusal (an older kernel) costs nothing
// but what the advice would have saved.
void adviseInside(void* block, std::size_t size, std::uintptr_t unit, int advice) {
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t from = (start + unit - 1) & ~(unit - 1);
    const std::uintptr_t to = (start + size) & ~(unit - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, advice);
}
} // namespace

void adviseLargeBlock(void* block, std::size_t size) {
#ifdef MADV_HUGEPAGE
    adviseInside(block, size, std::uintptr_t(2) << 20, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

void prepareToWrite(void* from, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    adviseInside(from, size, 4096, MADV_POPULATE_WRITE);
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
