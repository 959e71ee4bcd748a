// The recursive lock: one holder at a time however many threads compete, re-entry by the
// holder, and waiters that sleep and are woken rather than lost.
#include "platform/CriticalSection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Threads that enter the lock (some of them twice, nested) and check that nobody else is inside.
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
                    inside.fetch_sub(1);
                    for (int d = 0; d < c.depth; ++d)
                        cs.leave();
                }
            });
        for (auto& w : workers)
            w.join();
        EXPECT_EQ(overlaps.load(), 0) << c.threads << " threads";
        EXPECT_EQ(total, static_cast<long>(c.threads) * c.rounds) << c.threads << " threads";
    }
}

// A thread that finds the lock held waits (it does not get in early) and gets in once the
// holder has left its last nesting level.
TEST(CriticalSection, WaiterGetsInAfterTheLastLeave) {
    CriticalSection cs;
    std::atomic<bool> entered{false};
    cs.enter();
    cs.enter(); // nested
    std::thread waiter([&] {
        CriticalSectionLock hold(cs);
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    cs.leave();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load()) << "the holder is still inside one level";
    cs.leave();
    waiter.join();
    EXPECT_TRUE(entered.load());
    // Free again: this thread enters without waiting.
    CriticalSectionLock again(cs);
}

} // namespace
