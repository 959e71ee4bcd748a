#pragma once
// Test-only seam: lets a test make the platform layer fail on purpose. Compiled in only when
// QX_FAULT_INJECTION is defined; release builds have none of it.
#ifdef QX_FAULT_INJECTION
#include <atomic>
#include <cstdint>

struct FaultInjection {
    // Allocation number (counted from the moment it is armed) that fails; -1 disables.
    static std::atomic<long> failAllocationAfter;
    // Every allocation fails while this is set.
    static std::atomic<bool> failAllAllocations;
    static void reset();
};

// Failures of the file functions (platform/FileApi.h). Each is off at its default; reset()
// turns them all off again.
struct FileFaultInjection {
    // createFileA/W fail with this Windows error code (32 gives a sharing violation that never
    // clears); 0 disables.
    static std::atomic<uint32_t> openError;
    // How many calls fail with openError before they succeed again; -1: every call.
    static std::atomic<long> openErrorCount;
    // Counts the calls of createFileA/W, so that tests can count attempts.
    static std::atomic<long> openCalls;
    // writeFile writes at most this many bytes of each call and then fails with error 112 (disk
    // full); -1 disables.
    static std::atomic<long> writeLimit;
    // readFile delivers at most this many bytes of each call and still succeeds; -1 disables.
    static std::atomic<long> readLimit;
    // readFile fails with this Windows error code; 0 disables.
    static std::atomic<uint32_t> readError;
    // getFileSize fails with this Windows error code; 0 disables.
    static std::atomic<uint32_t> sizeError;
    static void reset();
    // For the file functions: whether this open fails, and with which code.
    static bool takeOpenError(uint32_t& code);
};
#endif
