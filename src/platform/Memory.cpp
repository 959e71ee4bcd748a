#include "platform/Memory.h"

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

void* qxAlloc(std::size_t size) {
    if (injectedFailure()) return nullptr;
    return std::malloc(size ? size : 1);
}

void* qxRealloc(void* block, std::size_t size) {
    if (injectedFailure()) return nullptr;
    return std::realloc(block, size ? size : 1);
}

void qxFree(void* block) {
    std::free(block);
}
