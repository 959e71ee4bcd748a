// Large blocks in mappings of their own, aligned to 2 MB and marked for large pages (transparent
// huge pages in "madvise" mode). Writing a fresh large page costs a small fraction of what the
// 512 small pages it replaces cost in faults (far more on some virtual machines), and whole
// texts, conversions and row tables are written through at once. A few freed mappings are kept
// (KeptRegions) for the next blocks of about their size: the next table loaded then writes into
// pages already in memory, which the system does not have to clear again.
//
// Layout: [header, 64 bytes][data ...][slack to the mapping's end]. The header keeps the
// mapping's length; the data starts 64 bytes past a 2 MB boundary, so a block can be told from a
// heap block by its address and then by the table of live blocks (LiveBlocks).
#include "platform/KeptRegions.h"
#include "platform/LiveBlocks.h"
#include "platform/Platform.h"

#include <atomic>
#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define QX_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define QX_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define QX_POISON(p, n) ((void)(p), (void)(n))
#define QX_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace platform {

namespace {
const std::uintptr_t kUnit = std::uintptr_t(2) << 20;
const std::size_t kHeader = 64;

struct Header {
    std::size_t mapped; // bytes mapped from the header on, a whole number of units
    std::size_t size;   // bytes of data asked for
};

LiveBlocks g_live;

std::size_t mappingFor(std::size_t size) {
    if (size > SIZE_MAX - kHeader - kUnit) return 0;
    return (size + kHeader + kUnit - 1) & ~(kUnit - 1);
}

Header* headerOf(void* block) {
    return reinterpret_cast<Header*>(static_cast<char*>(block) - kHeader);
}

// `length` bytes of fresh address space starting on a unit boundary, or null.
char* mapAligned(std::size_t length) {
    void* raw =
        mmap(nullptr, length + kUnit, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t base = (start + kUnit - 1) & ~(kUnit - 1);
    if (base > start) munmap(raw, base - start);
    const std::uintptr_t end = start + length + kUnit;
    if (end > base + length) munmap(reinterpret_cast<void*>(base + length), end - (base + length));
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(base), length, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<char*>(base);
}

KeptRegions g_kept;

void unmapAll(const KeptRegions::Region* regions, int n) {
    for (int i = 0; i < n; ++i) {
        QX_UNPOISON(regions[i].base, regions[i].bytes);
        munmap(regions[i].base, regions[i].bytes);
    }
}

void unmapKept() {
    KeptRegions::Region all[KeptRegions::kRegions];
    unmapAll(all, g_kept.takeAll(all));
}

// A mapping of at least `length` bytes on a unit boundary, kept or fresh (then *mapped is its
// length), or null. Before fresh memory is mapped the kept regions are given back, so that
// keeping them never adds to what a process needs at its peak.
char* region(std::size_t length, std::size_t* mapped) {
    const KeptRegions::Region kept = g_kept.take(length);
    if (kept.base) {
        QX_UNPOISON(kept.base, kept.bytes);
        *mapped = kept.bytes;
        return static_cast<char*>(kept.base);
    }
    unmapKept();
    *mapped = length;
    return mapAligned(length);
}

// Marks the slack after `size` bytes of data as out of bounds for the address checker.
void poisonSlack(char* base, std::size_t mapped, std::size_t size) {
    QX_POISON(base + kHeader + size, mapped - kHeader - size);
}

void* finish(char* base, std::size_t mapped, std::size_t size) {
    reinterpret_cast<Header*>(base)->mapped = mapped;
    reinterpret_cast<Header*>(base)->size = size;
    poisonSlack(base, mapped, size);
    return base + kHeader;
}
} // namespace

bool isLargeBlock(void* block) {
    return (reinterpret_cast<std::uintptr_t>(block) & (kUnit - 1)) == kHeader &&
           g_live.holds(block);
}

void* allocateLargeBlock(std::size_t size) {
    std::size_t mapped = mappingFor(size);
    if (!mapped) return nullptr;
    char* base = region(mapped, &mapped);
    if (!base) return nullptr;
    if (!g_live.swap(nullptr, base + kHeader)) {
        munmap(base, mapped);
        return nullptr;
    }
    return finish(base, mapped, size);
}

void freeLargeBlock(void* block) {
    const std::size_t mapped = headerOf(block)->mapped;
    g_live.swap(block, nullptr);
    // Kept, it stays out of bounds for the address checker, header and all.
    QX_POISON(headerOf(block), mapped);
    KeptRegions::Region out[KeptRegions::kRegions + 1];
    unmapAll(out, g_kept.keep({headerOf(block), mapped}, out));
}

std::size_t largeBlockSize(void* block) {
    return headerOf(block)->size;
}

std::size_t heapBlockSize(void* block) {
    return malloc_usable_size(block);
}

void* reallocateLargeBlock(void* block, std::size_t size) {
    const std::size_t mapped = mappingFor(size);
    if (!mapped) return nullptr;
    char* base = reinterpret_cast<char*>(headerOf(block));
    const std::size_t old = headerOf(block)->mapped;
    const std::size_t had = headerOf(block)->size;
    QX_UNPOISON(base, old);
    if (mapped < old) munmap(base + mapped, old - mapped);
    if (mapped <= old) return finish(base, mapped, size);
    // Grow in place where the address space after the mapping is free, else move the pages (not
    // their contents) to a fresh aligned range, which keeps them large. Either takes fresh
    // memory, so what is kept goes back first.
    unmapKept();
    if (mremap(base, old, mapped, 0) != MAP_FAILED) return finish(base, mapped, size);
    char* target = mapAligned(mapped);
    if (!target) {
        poisonSlack(base, old, had);
        return nullptr;
    }
    if (mremap(base, old, mapped, MREMAP_MAYMOVE | MREMAP_FIXED, target) == MAP_FAILED) {
        munmap(target, mapped);
        poisonSlack(base, old, had);
        return nullptr;
    }
    // The moved range keeps the large-page mark; the part it grew by gets it here.
#ifdef MADV_HUGEPAGE
    madvise(target, mapped, MADV_HUGEPAGE);
#endif
    g_live.swap(block, target + kHeader);
    return finish(target, mapped, size);
}

void prepareToWrite(void* from, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    const std::uintptr_t unit = 4096;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(from);
    const std::uintptr_t first = (start + unit - 1) & ~(unit - 1);
    const std::uintptr_t last = (start + size) & ~(unit - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
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

void releaseFreedLargeBlocks() {
    unmapKept();
}

} // namespace platform
