// Large blocks in regions of their own from VirtualAlloc. Windows gives large pages only to
// processes holding a special privilege, so these are small pages like the heap's; what a region
// of its own buys is reuse. The heap hands a freed block of several MB straight back to the
// system, and the next load's text, offsets and conversions then fault in every 4 KB page again
// (and the system zeroes each one). Here a freed block is kept, committed, for the next block of
// about its size: a host that loads one file after another writes into pages already in memory.
// What is kept is bounded (KeptRegions), is given back before any fresh region is committed,
// and is released when the library is unloaded.
//
// Layout: [header, 64 bytes][data ...][committed slack][reserved, not committed]. Regions start
// on the 64 KB allocation granularity, so data starts 64 bytes past such a boundary; a block is
// told from a heap block by that and then by the table of live blocks (LiveBlocks).
#include "platform/KeptRegions.h"
#include "platform/LiveBlocks.h"
#include "platform/Platform.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <malloc.h>
#include <windows.h>

namespace platform {

namespace {
const std::uintptr_t kGranularity = 64 << 10;
const std::size_t kHeader = 64;
// Blocks are committed in steps of this much (and reserved with room to grow by a quarter), so
// that a block grown a little at a time is not moved each time.
const std::size_t kStep = std::size_t(1) << 20;
struct Header {
    std::size_t reserved;  // bytes reserved from the header on
    std::size_t committed; // bytes committed from the header on
    std::size_t size;      // bytes of data asked for
};

Header* headerOf(void* block) {
    return reinterpret_cast<Header*>(static_cast<char*>(block) - kHeader);
}

LiveBlocks g_live;

KeptRegions g_kept;

// Bytes committed for a block of `size` data bytes: whole steps; 0 when too large.
std::size_t commitFor(std::size_t size) {
    if (size > SIZE_MAX / 2 - kHeader - kStep) return 0;
    return (size + kHeader + kStep - 1) & ~(kStep - 1);
}

std::size_t reserveFor(std::size_t committed) {
    const std::size_t more = committed / 4;
    if (committed > SIZE_MAX / 2 - more - kGranularity) return committed;
    return (committed + more + kGranularity - 1) & ~(kGranularity - 1);
}

void release(Header* h) {
    VirtualFree(h, 0, MEM_RELEASE);
}

void releaseAll(const KeptRegions::Region* regions, int n) {
    for (int i = 0; i < n; ++i)
        release(static_cast<Header*>(regions[i].base));
}

void keepOrRelease(Header* h) {
    KeptRegions::Region out[KeptRegions::kRegions + 1];
    releaseAll(out, g_kept.keep({h, h->committed}, out));
}

void releaseKept() {
    KeptRegions::Region all[KeptRegions::kRegions];
    releaseAll(all, g_kept.takeAll(all));
}

// A region holding `committed` bytes, reused or fresh; null if none can be had. Before fresh
// memory is committed the kept regions are given back, so that keeping them never adds to what
// a process needs at its peak.
Header* region(std::size_t committed) {
    if (void* kept = g_kept.take(committed).base) return static_cast<Header*>(kept);
    releaseKept();
    const std::size_t reserved = reserveFor(committed);
    void* base = VirtualAlloc(nullptr, reserved, MEM_RESERVE, PAGE_READWRITE);
    if (base && VirtualAlloc(base, committed, MEM_COMMIT, PAGE_READWRITE)) {
        Header* h = static_cast<Header*>(base);
        h->reserved = reserved;
        h->committed = committed;
        return h;
    }
    if (base) VirtualFree(base, 0, MEM_RELEASE);
    return nullptr;
}

void* finish(Header* h, std::size_t size) {
    h->size = size;
    return reinterpret_cast<char*>(h) + kHeader;
}
} // namespace

bool isLargeBlock(void* block) {
    return (reinterpret_cast<std::uintptr_t>(block) & (kGranularity - 1)) == kHeader &&
           g_live.holds(block);
}

void* allocateLargeBlock(std::size_t size) {
    const std::size_t committed = commitFor(size);
    if (!committed) return nullptr;
    Header* h = region(committed);
    if (!h) return nullptr;
    void* block = reinterpret_cast<char*>(h) + kHeader;
    if (!g_live.swap(nullptr, block)) {
        keepOrRelease(h);
        return nullptr;
    }
    return finish(h, size);
}

void freeLargeBlock(void* block) {
    g_live.swap(block, nullptr);
    keepOrRelease(headerOf(block));
}

std::size_t largeBlockSize(void* block) {
    return headerOf(block)->size;
}

std::size_t heapBlockSize(void* block) {
    return _msize(block);
}

void* reallocateLargeBlock(void* block, std::size_t size) {
    const std::size_t committed = commitFor(size);
    if (!committed) return nullptr;
    Header* h = headerOf(block);
    if (committed < h->committed) {
        // The pages past the new end go back to the system; the address space stays reserved.
        VirtualFree(reinterpret_cast<char*>(h) + committed, h->committed - committed, MEM_DECOMMIT);
        h->committed = committed;
    }
    if (committed <= h->committed) return finish(h, size);
    // Grow in place within the reserved range, else move to a region large enough. Either takes
    // fresh memory, so what is kept goes back first.
    releaseKept();
    if (committed <= h->reserved &&
        VirtualAlloc(reinterpret_cast<char*>(h) + h->committed, committed - h->committed,
                     MEM_COMMIT, PAGE_READWRITE)) {
        h->committed = committed;
        return finish(h, size);
    }
    void* moved = allocateLargeBlock(size);
    if (!moved) return nullptr;
    std::memcpy(moved, block, h->size < size ? h->size : size);
    freeLargeBlock(block);
    return moved;
}

void prepareToWrite(void*, std::size_t) {}
void keepFreedLargeBlocks() {}

void releaseFreedLargeBlocks() {
    releaseKept();
}

} // namespace platform
