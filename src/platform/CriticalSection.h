#pragma once
// A recursive lock: the thread that holds it may enter it again. Every cell read takes the
// object's lock, so the common case, one thread using the object, costs a few plain stores (see
// the bias below). Underneath, on Windows, is a CRITICAL_SECTION; elsewhere a small lock of our
// own (platform code) whose uncontended enter and leave are one atomic operation each.

#include <atomic>

// The thread that enters first owns the lock's bias from then on: it enters and leaves with plain
// stores, no atomic read-modify-write (those cost about a fifth of reading a cell). The first other
// thread to enter takes the bias away for good: it holds the underlying lock, tells the owner so,
// makes every thread of the process pass a full memory barrier (platform code), and waits until
// the owner is not inside. From then on every thread uses the underlying lock. Where the system
// has no such process-wide barrier the lock is never biased.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() {
        const void* self = threadTag();
        if (!enterBiased(self)) enterSlow(self);
    }
    // enter() for the bias owner alone, without a call: false, with nothing taken, for any other
    // thread (or while the bias is being revoked). Left through leaveBiased().
    bool tryEnterBiased() { return enterBiased(threadTag()); }
    void leaveBiased() {
        const int depth = biasDepth_.load(std::memory_order_relaxed);
        biasDepth_.store(depth - 1, std::memory_order_relaxed);
        if (depth == 1) inside_.store(0, std::memory_order_release);
    }
    void leave() {
        // Above zero only while the bias owner holds the lock through its own path (nobody else
        // can hold it then, so nobody else changes it).
        if (biasDepth_.load(std::memory_order_relaxed) > 0)
            leaveBiased();
        else
            leaveLock();
    }

private:
    bool enterBiased(const void* self) {
        if (bias_.load(std::memory_order_relaxed) != self) return false;
        const int depth = biasDepth_.load(std::memory_order_relaxed);
        if (depth > 0) {
            biasDepth_.store(depth + 1, std::memory_order_relaxed);
            return true;
        }
        // The owner's half of the handshake: say it is inside, then look for a revoker. The
        // revoker's barrier makes at least one of the two see the other's store.
        inside_.store(1, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (!revoking_.load(std::memory_order_relaxed)) {
            biasDepth_.store(1, std::memory_order_relaxed);
            return true;
        }
        inside_.store(0, std::memory_order_release);
        return false;
    }
    // Takes the bias when nobody has it yet, or the underlying lock (revoking the bias first
    // when another thread has it).
    void enterSlow(const void* self);
    // Every thread of the process passes a full memory barrier before this returns; false when
    // the system cannot do that (asked once per process by barrierWorks).
    static bool processBarrier();
    static bool barrierWorks();

    // An address that no other running thread shares: a thread knows itself as the holder.
#if defined(_WIN32) && defined(__GNUC__)
    // The thread's own environment block, read from the segment register that points at it (the
    // compiler's thread-local variables are emulated there, a call per access).
    static const void* threadTag() {
        const void* teb;
#if defined(__x86_64__)
        __asm__("mov %%gs:0x30, %0" : "=r"(teb));
#else
        __asm__("mov %%fs:0x18, %0" : "=r"(teb));
#endif
        return teb;
    }
#else
    // (One definition, in CriticalSection.cpp, so that every caller sees the same one; __thread
    // where the compiler has it, as that needs no call to reach it from other files.)
#if defined(__GNUC__)
    static __thread char threadTag_;
#else
    static thread_local char threadTag_;
#endif
    static const void* threadTag() {
        return &threadTag_;
    }
#endif
    static const char kRevoked; // bias_ points at it once the bias is gone

    std::atomic<const void*> bias_{nullptr}; // the owner's tag, null, or &kRevoked
    std::atomic<int> biasDepth_{0};          // the owner's depth on its own path
    std::atomic<int> inside_{0};             // the owner is inside (or about to look)
    std::atomic<int> revoking_{0};           // a revoker holds the underlying lock

    // The underlying recursive lock.
#if defined(_WIN32)
    void enterLock();
    void leaveLock();
    // Storage large enough for a CRITICAL_SECTION (24 bytes in a 32-bit process).
    alignas(16) unsigned char storage_[64];
#else
    // Uncontended, one atomic operation each way; a thread that finds the lock held sleeps on the
    // system's wait queue until the holder leaves.
    void enterLock() {
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
    void leaveLock() {
        if (--depth_ > 0) return;
        owner_.store(nullptr, std::memory_order_relaxed);
        if (state_.exchange(kFree, std::memory_order_release) == kWaitedFor) wakeOne();
    }
    enum { kFree = 0, kHeld = 1, kWaitedFor = 2 };
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
