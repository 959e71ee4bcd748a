#include "platform/Memory.h"

#include "platform/Platform.h"

#include <cstdlib>

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
// system is told so that it can back them with large pages.
const std::size_t kLargeBlock = std::size_t(4) << 20;

void* advised(void* block, std::size_t size) {
    if (block && size >= kLargeBlock) platform::adviseLargeBlock(block, size);
    return block;
}
} // namespace

void* qxAlloc(std::size_t size) {
    if (injectedFailure()) return counted(nullptr);
    return counted(advised(std::malloc(size ? size : 1), size));
}

void* qxRealloc(void* block, std::size_t size) {
    if (injectedFailure()) return counted(nullptr);
    return counted(advised(std::realloc(block, size ? size : 1), size));
}

void qxFree(void* block) {
    std::free(block);
}
