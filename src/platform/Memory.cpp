#include "platform/Memory.h"

#include "platform/Platform.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

std::atomic<long> FaultInjection::failAllocationAfter{-1};
std::atomic<bool> FaultInjection::failAllAllocations{false};

void FaultInjection::reset() {
    failAllocationAfter = -1;
    failAllAllocations = false;
}

static bool injectedFailure() {
    if (FaultInjection::failAllAllocations.load()) return true;
    long n = FaultInjection::failAllocationAfter.load();
    if (n < 0) return false;
    if (n == 0) {
        FaultInjection::failAllocationAfter = -1;
        return true;
    }
    FaultInjection::failAllocationAfter = n - 1;
    return false;
}
#else
static inline bool injectedFailure() {
    return false;
}
#endif

namespace {
// Per thread, so that one thread's shortage does not fail another thread's call.
thread_local unsigned long t_failedAllocations = 0;

void* counted(void* block) {
    if (!block) ++t_failedAllocations;
    return block;
}
} // namespace

unsigned long qxFailedAllocations() {
    return t_failedAllocations;
}

namespace {
// Blocks this large are nearly always filled at once (whole texts, conversions, row tables); the
// platform gives them large pages where it can.
std::atomic<std::size_t> g_largeBlock{std::size_t(4) << 20};
} // namespace

void qxUseLargeBlocksFrom(std::size_t size) {
    g_largeBlock.store(size, std::memory_order_relaxed);
}

void* qxAlloc(std::size_t size) {
    if (injectedFailure()) return counted(nullptr);
    if (size >= g_largeBlock.load(std::memory_order_relaxed))
        if (void* block = platform::allocateLargeBlock(size)) return block;
    return counted(std::malloc(size ? size : 1));
}

void* qxAllocSparse(std::size_t size) {
    if (injectedFailure()) return counted(nullptr);
    return counted(std::malloc(size ? size : 1));
}

void* qxAllocLarge(std::size_t size) {
    if (injectedFailure()) return counted(nullptr);
    if (void* block = platform::allocateLargeBlock(size)) return block;
    return counted(std::malloc(size ? size : 1));
}

namespace {
void* reallocate(void* block, std::size_t size, bool askedLarge) {
    if (injectedFailure()) return counted(nullptr);
    if (platform::isLargeBlock(block)) {
        const std::size_t had = platform::largeBlockSize(block);
        // A large block shrunk below a quarter of the large-block size goes back to the heap.
        if (size < g_largeBlock.load(std::memory_order_relaxed) / 4 && size < had) {
            // Shrunk to a small block: back to the heap, rather than keeping a region for it. (A
            // small large block that grows stays one: it was asked for as one.)
            void* small = std::malloc(size ? size : 1);
            if (!small) return counted(nullptr);
            std::memcpy(small, block, size < had ? size : had);
            platform::freeLargeBlock(block);
            return small;
        }
        return counted(platform::reallocateLargeBlock(block, size));
    }
    if (askedLarge || size >= g_largeBlock.load(std::memory_order_relaxed)) {
        // A heap block that has grown this large moves into a large block.
        if (void* moved = platform::allocateLargeBlock(size)) {
            if (block) {
                const std::size_t had = platform::heapBlockSize(block);
                std::memcpy(moved, block, had < size ? had : size);
                std::free(block);
            }
            return moved;
        }
    }
    return counted(std::realloc(block, size ? size : 1));
}
} // namespace

void* qxRealloc(void* block, std::size_t size) {
    return reallocate(block, size, false);
}

void* qxReallocLarge(void* block, std::size_t size) {
    return reallocate(block, size, true);
}

void qxFree(void* block) {
    if (platform::isLargeBlock(block))
        platform::freeLargeBlock(block);
    else
        std::free(block);
}
