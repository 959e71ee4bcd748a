// The recursive lock: one holder at a time however many threads compete, re-entry by the
// holder, and waiters that sleep and are woken rather than lost.
#include "platform/CriticalSection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Threads that enter the lock (some of them up to three levels deep) and check that nobody else
// gets in while they are inside; the check stays on until the holder has left its last level,
// so a lock freed by an inner leave lets another thread in under it.
TEST(CriticalSection, OneHolderAtATimeWithNesting) {
    const struct {
        int threads, rounds, depth;
    } cases[] = {{2, 20000, 1}, {4, 10000, 2}, {8, 3000, 3}};
    for (const auto& c : cases) {
        CriticalSection cs;
        std::atomic<int> inside{0};
        std::atomic<int> overlaps{0};
        long total = 0; // changed only under the lock
        std::vector<std::thread> workers;
        for (int t = 0; t < c.threads; ++t)
            workers.emplace_back([&] {
                for (int i = 0; i < c.rounds; ++i) {
                    for (int d = 0; d < c.depth; ++d)
                        cs.enter();
                    if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
                    ++total;
                    for (int d = 1; d < c.depth; ++d) {
                        cs.leave();
                        std::this_thread::yield(); // room for a thread let in too early
                    }
                    inside.fetch_sub(1);
                    cs.leave();
                }
            });
        for (auto& w : workers)
            w.join();
        EXPECT_EQ(overlaps.load(), 0) << c.threads << " threads";
        EXPECT_EQ(total, static_cast<long>(c.threads) * c.rounds) << c.threads << " threads";
        CriticalSectionLock again(cs); // free again: this thread enters without waiting
    }
}

} // namespace
