// The bias of CriticalSection: taken by the first thread to enter, revoked for good by the first
// other thread. (The underlying lock and the process-wide barrier are platform code.)
#include "platform/CriticalSection.h"

#include "platform/FileApi.h"

#include <thread>

const char CriticalSection::kRevoked = 0;

#if !(defined(_WIN32) && defined(__GNUC__)) // there the thread's environment block is its tag
#if defined(__GNUC__)
__thread char CriticalSection::threadTag_;
#else
thread_local char CriticalSection::threadTag_;
#endif
#endif

bool CriticalSection::barrierWorks() {
    // 0: not asked yet, 1: works, 2: does not.
    static std::atomic<int> known{0};
    int state = known.load(std::memory_order_acquire);
    if (state == 0) {
        state = processBarrier() ? 1 : 2;
        known.store(state, std::memory_order_release);
    }
    return state == 1;
}

void CriticalSection::enterSlow(const void* self) {
    const void* bias = bias_.load(std::memory_order_acquire);
    if (!bias && barrierWorks() &&
        bias_.compare_exchange_strong(bias, self, std::memory_order_acq_rel)) {
        enter(); // this thread owns the bias now: its own path
        return;
    }
    enterLock();
    if (bias_.load(std::memory_order_acquire) == &kRevoked) return;
    // The bias is another thread's (or this thread's, and it found a revoker at work; that revoker
    // has finished by now). Revokers are one at a time, as each holds the underlying lock.
    revoking_.store(1, std::memory_order_seq_cst);
    // After the barrier the owner either sees revoking_ on its next entry, or is seen inside here.
    // The barrier could fail only if the system stopped granting it; then a sleep long enough for
    // any store to become visible stands in.
    if (!processBarrier()) platform::sleepMs(10);
    // Wait for the owner to leave: it may be in the middle of a long load.
    for (int round = 0; inside_.load(std::memory_order_acquire); ++round) {
        if (round < 64)
            std::this_thread::yield();
        else
            platform::sleepMs(1);
    }
    bias_.store(&kRevoked, std::memory_order_release);
}
