#pragma once
// A recursive lock: the thread that holds it may enter it again. On Windows it is a
// CRITICAL_SECTION. Elsewhere it is a small lock of our own whose uncontended enter and leave are
// inline, one atomic operation each: every cell read takes the object's lock, and a library call
// per enter and per leave showed in the cost of reading a table cell by cell. A thread that finds
// the lock held sleeps on the system's wait queue (platform code) until the holder leaves.

#if !defined(_WIN32)
#include <atomic>
#endif

class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

#if defined(_WIN32)
    void enter();
    void leave();

private:
    // Storage large enough for a CRITICAL_SECTION (24 bytes in a 32-bit process).
    alignas(16) unsigned char storage_[64];
#else
    void enter() {
        const void* self = threadTag();
        if (owner_.load(std::memory_order_relaxed) == self) {
            ++depth_; // only the holder gets here, and only the holder changes depth_
            return;
        }
        int expected = kFree;
        if (!state_.compare_exchange_strong(expected, kHeld, std::memory_order_acquire,
                                            std::memory_order_relaxed))
            wait(expected);
        owner_.store(self, std::memory_order_relaxed);
        depth_ = 1;
    }
    void leave() {
        if (--depth_ > 0) return;
        owner_.store(nullptr, std::memory_order_relaxed);
        if (state_.exchange(kFree, std::memory_order_release) == kWaitedFor) wakeOne();
    }

private:
    enum { kFree = 0, kHeld = 1, kWaitedFor = 2 };
    // An address that no other running thread shares: a thread knows itself as the holder.
    // (One definition, in the platform code, so that every caller sees the same one; __thread
    // where the compiler has it, as that needs no call to reach it from other files.)
#if defined(__GNUC__)
    static __thread char threadTag_;
#else
    static thread_local char threadTag_;
#endif
    static const void* threadTag() {
        return &threadTag_;
    }
    // Waits until the lock is free and takes it (state seen: what the failed attempt found).
    void wait(int seen);
    void wakeOne();

    std::atomic<int> state_{kFree};
    std::atomic<const void*> owner_{nullptr};
    int depth_ = 0;
#endif
};

// Holds a CriticalSection for the life of a scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& cs) : cs_(cs) { cs_.enter(); }
    ~CriticalSectionLock() { cs_.leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& cs_;
};
