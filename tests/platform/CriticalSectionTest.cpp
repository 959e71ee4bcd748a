// The recursive lock: one holder at a time however many threads compete, re-entry by the
// holder, and waiters that sleep and are woken rather than lost; the thread that enters first
// (the bias owner, on its own path) against threads that come later and take its bias away.
#include "platform/CriticalSection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

// The first thread has the lock to itself for a while (its own path), then others arrive while it
// goes on entering and leaving, or while it is inside for a long stretch: nobody may get in beside
// it at the hand-over, and no entry may be lost. The counter is a plain one, kept by the lock
// alone.
TEST(CriticalSection, LaterThreadsTakeTheFirstThreadsBiasSafely) {
    // Each hand-over happens once per lock, so every case makes many locks.
    const struct {
        int locks, others, ownerRounds, otherRounds, depth, holdMs;
    } cases[] = {
        {300, 1, 3000, 300, 1, 0}, // the other arrives while the owner is entering and leaving
        {100, 3, 3000, 100, 2, 0}, // several arrive at once; the owner nests
        {3, 1, 20, 20, 3, 10},     // the owner is inside for long stretches: the other must wait
    };
    for (const auto& c : cases) {
        int overlaps = 0;
        long lost = 0;
        for (int lock = 0; lock < c.locks; ++lock) {
            CriticalSection cs;
            std::atomic<int> inside{0};
            std::atomic<int> clashes{0};
            std::atomic<bool> ownerStarted{false};
            long total = 0;
            const auto round = [&](int holdMs) {
                for (int d = 0; d < c.depth; ++d)
                    cs.enter();
                if (inside.fetch_add(1) != 0) clashes.fetch_add(1);
                ++total;
                if (holdMs) std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
                inside.fetch_sub(1);
                for (int d = 0; d < c.depth; ++d)
                    cs.leave();
            };
            std::atomic<int> othersLeft{c.others};
            long ownerRounds = 0;
            // The owner goes on until the others are through, so that it is still entering
            // when they take its bias (and right after).
            std::thread owner([&] {
                round(0); // first in: the bias is this thread's
                ownerStarted = true;
                for (ownerRounds = 1; ownerRounds < c.ownerRounds || othersLeft > 0; ++ownerRounds)
                    round(c.holdMs);
            });
            while (!ownerStarted)
                std::this_thread::yield();
            std::vector<std::thread> others;
            for (int t = 0; t < c.others; ++t)
                others.emplace_back([&] {
                    for (int i = 0; i < c.otherRounds; ++i)
                        round(0);
                    --othersLeft;
                });
            owner.join();
            for (auto& o : others)
                o.join();
            overlaps += clashes.load();
            lost += ownerRounds + static_cast<long>(c.others) * c.otherRounds - total;
        }
        EXPECT_EQ(overlaps, 0) << c.others << " others";
        EXPECT_EQ(lost, 0) << c.others << " others";
    }
}

} // namespace
