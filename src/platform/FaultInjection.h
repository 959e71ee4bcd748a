#pragma once
// Test-only seam: lets a test make the platform layer fail on purpose. Compiled in only when
// QX_FAULT_INJECTION is defined; release builds have none of it.
#ifdef QX_FAULT_INJECTION
#include <atomic>

struct FaultInjection {
    // Allocation number (counted from the moment it is armed) that fails; -1 disables.
    static std::atomic<long> failAllocationAfter;
    // Every allocation fails while this is set.
    static std::atomic<bool> failAllAllocations;
    static void reset();
};
#endif
