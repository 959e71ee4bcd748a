// Blocks through qxAlloc / qxRealloc / qxFree: a block keeps its bytes whatever route a size
// change takes (heap to large block and back down, growth in place, growth that has to move the
// pages, shrinking), and blocks of several threads do not get in each other's way.
#include "platform/Memory.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

const std::size_t kMB = std::size_t(1) << 20;

unsigned char patternAt(std::size_t i, unsigned seed) {
    return static_cast<unsigned char>((i * 2654435761u >> 13) ^ seed);
}

void fill(unsigned char* p, std::size_t from, std::size_t to, unsigned seed) {
    for (std::size_t i = from; i < to; ++i)
        p[i] = patternAt(i, seed);
}

// The first position in [0, n) whose byte is not the pattern's, or n.
std::size_t firstDifference(const unsigned char* p, std::size_t n, unsigned seed) {
    for (std::size_t i = 0; i < n; i += 4093) // a stride prime to the page size, then the end
        if (p[i] != patternAt(i, seed)) return i;
    for (std::size_t i = n > 8192 ? n - 8192 : 0; i < n; ++i)
        if (p[i] != patternAt(i, seed)) return i;
    return n;
}

// Each step resizes the block; the bytes both sizes share must survive, and the block must take
// writes up to its new size.
TEST(Memory, ResizingKeepsTheBytes) {
    void* probe = qxAllocLarge(16);
    const bool platformHasLargeBlocks = platform::isLargeBlock(probe);
    qxFree(probe);
    const struct {
        const char* what;
        std::vector<std::size_t> sizes;
        bool askedLarge; // the steps go through qxReallocLarge
    } cases[] = {
        {"heap block grows into a large block", {1000, 3 * kMB, 5 * kMB, 9 * kMB}, false},
        {"large block grows by less than a unit", {4 * kMB, 4 * kMB + 4096, 5 * kMB}, false},
        {"large block shrinks, then grows again", {12 * kMB, 6 * kMB, 1 * kMB, 20 * kMB}, false},
        {"large block shrinks below the large size", {8 * kMB, 100, 16}, false},
        {"grows from nothing", {0, 7 * kMB}, false},
        {"sizes at the unit boundaries", {2 * kMB - 64, 2 * kMB, 4 * kMB - 64, 4 * kMB}, false},
        {"heap block asked large while small, grows",
         {64 << 10, 128 << 10, 256 << 10, 3 * kMB},
         true},
        {"block asked large shrinks to the heap", {256 << 10, 300 << 10, 100}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A second large block made after the first often sits right behind it, so that the
        // first cannot grow in place and its pages have to move.
        unsigned char* block = static_cast<unsigned char*>(qxAlloc(c.sizes[0]));
        unsigned char* neighbour = static_cast<unsigned char*>(qxAlloc(5 * kMB));
        ASSERT_NE(block, nullptr);
        ASSERT_NE(neighbour, nullptr);
        fill(neighbour, 0, 5 * kMB, 99);
        fill(block, 0, c.sizes[0], 7);
        std::size_t size = c.sizes[0];
        for (std::size_t step = 1; step < c.sizes.size(); ++step) {
            const std::size_t next = c.sizes[step];
            block = static_cast<unsigned char*>(c.askedLarge ? qxReallocLarge(block, next)
                                                             : qxRealloc(block, next));
            ASSERT_NE(block, nullptr) << "step " << step;
            const std::size_t kept = next < size ? next : size;
            EXPECT_EQ(firstDifference(block, kept, 7), kept) << "step " << step;
            fill(block, kept, next, 7);
            // Where the system gives large blocks, one asked for stays one while it grows.
            if (c.askedLarge && platformHasLargeBlocks && next >= size)
                EXPECT_TRUE(platform::isLargeBlock(block)) << "step " << step;
            size = next;
        }
        EXPECT_EQ(firstDifference(block, size, 7), size);
        EXPECT_EQ(firstDifference(neighbour, 5 * kMB, 99), 5 * kMB);
        qxFree(block);
        qxFree(neighbour);
    }
}

// With the large-block size lowered (as the command-line tool does), blocks from that size up
// are large blocks, smaller ones and sparse ones stay on the heap, and a large block shrunk below
// a quarter of the size goes back to the heap with its bytes.
TEST(Memory, LoweredLargeBlockSize) {
    void* probe = qxAllocLarge(16);
    const bool platformHasLargeBlocks = platform::isLargeBlock(probe);
    qxFree(probe);
    if (!platformHasLargeBlocks) GTEST_SKIP() << "the system gives no large blocks";
    const std::size_t kFrom = 256 << 10;
    qxUseLargeBlocksFrom(kFrom);
    const struct {
        std::size_t size, shrunk;
        bool large, largeShrunk;
    } cases[] = {
        {kFrom - 1, 1000, false, false},
        {kFrom, kFrom / 4, true, true},
        {kFrom, kFrom / 4 - 1, true, false},
        {3 * kMB, 100 << 10, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        unsigned char* block = static_cast<unsigned char*>(qxAlloc(c.size));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(platform::isLargeBlock(block), c.large);
        fill(block, 0, c.size, 3);
        block = static_cast<unsigned char*>(qxRealloc(block, c.shrunk));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(platform::isLargeBlock(block), c.largeShrunk);
        EXPECT_EQ(firstDifference(block, c.shrunk, 3), c.shrunk);
        qxFree(block);
    }
    // A block of which little is written stays on the heap, however large.
    void* sparse = qxAllocSparse(3 * kMB);
    ASSERT_NE(sparse, nullptr);
    EXPECT_FALSE(platform::isLargeBlock(sparse));
    qxFree(sparse);
    qxUseLargeBlocksFrom(4 * kMB);
}

// A heap block is never taken for a large block, whatever its address.
TEST(Memory, HeapBlocksAreNotLargeBlocks) {
    std::vector<void*> blocks;
    for (int i = 0; i < 4000; ++i) {
        void* p = qxAlloc(static_cast<std::size_t>(16 + (i % 61) * 48));
        ASSERT_NE(p, nullptr);
        EXPECT_FALSE(platform::isLargeBlock(p));
        blocks.push_back(p);
    }
    for (void* p : blocks)
        qxFree(p);
    EXPECT_FALSE(platform::isLargeBlock(nullptr));
}

// Threads that make, grow and free large blocks at once: every block keeps its own bytes.
TEST(Memory, LargeBlocksOfSeveralThreads) {
    std::vector<std::thread> workers;
    std::vector<int> faults(4, 0);
    for (unsigned t = 0; t < 4; ++t)
        workers.emplace_back([t, &faults] {
            for (int round = 0; round < 6; ++round) {
                std::size_t size = (4 + t + static_cast<unsigned>(round)) * kMB;
                auto* p = static_cast<unsigned char*>(qxAlloc(size));
                if (!p) {
                    ++faults[t];
                    continue;
                }
                fill(p, 0, size, t);
                auto* q = static_cast<unsigned char*>(qxRealloc(p, size + 3 * kMB));
                if (!q || firstDifference(q, size, t) != size) ++faults[t];
                qxFree(q ? q : p);
            }
        });
    for (auto& w : workers)
        w.join();
    for (unsigned t = 0; t < 4; ++t)
        EXPECT_EQ(faults[t], 0) << "thread " << t;
}

// Random makes, resizes and frees of blocks from 1 to 12 MB, some always live: no two live blocks
// share a byte, and each keeps its bytes, however freed blocks are kept and handed out again.
TEST(Memory, LiveBlocksNeverShareBytes) {
    struct Live {
        unsigned char* p;
        std::size_t size;
        unsigned seed;
    };
    std::vector<Live> live;
    std::mt19937 random(19);
    const auto check = [&](const Live& b) {
        EXPECT_EQ(firstDifference(b.p, b.size, b.seed), b.size) << "block of " << b.size;
    };
    for (unsigned step = 0; step < 160; ++step) {
        const unsigned op = random() % 4;
        const std::size_t size = (1 + random() % 12) * kMB + random() % 5000;
        if (op < 2 || live.size() < 2) {
            auto* p = static_cast<unsigned char*>(qxAlloc(size));
            ASSERT_NE(p, nullptr);
            for (const Live& b : live)
                ASSERT_TRUE(p + size <= b.p || b.p + b.size <= p) << "step " << step;
            fill(p, 0, size, step);
            live.push_back({p, size, step});
        } else if (op == 2 || live.size() > 5) {
            const std::size_t i = random() % live.size();
            check(live[i]);
            qxFree(live[i].p);
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            Live& b = live[random() % live.size()];
            auto* p = static_cast<unsigned char*>(qxRealloc(b.p, size));
            ASSERT_NE(p, nullptr);
            const std::size_t kept = size < b.size ? size : b.size;
            EXPECT_EQ(firstDifference(p, kept, b.seed), kept) << "step " << step;
            fill(p, kept, size, b.seed);
            b.p = p;
            b.size = size;
        }
    }
    for (const Live& b : live) {
        check(b);
        qxFree(b.p);
    }
    platform::releaseFreedLargeBlocks();
}

// A few freed large blocks are kept for the next ones of about their size, not for much smaller
// ones. A kept block still holds what was written into it; fresh memory reads as zeros.
TEST(Memory, FreedLargeBlocksAreReusedForTheirSize) {
    const struct {
        std::size_t freed, asked;
        bool reused;
    } cases[] = {
        {8 * kMB, 8 * kMB, true},   {8 * kMB, 5 * kMB, true},   {8 * kMB, 12 * kMB, false},
        {40 * kMB, 5 * kMB, false}, {40 * kMB, 30 * kMB, true}, {6 * kMB, 2 * kMB, true},
    };
    for (const auto& c : cases) {
        platform::releaseFreedLargeBlocks();
        auto* freed = static_cast<unsigned char*>(qxAlloc(c.freed));
        ASSERT_TRUE(platform::isLargeBlock(freed));
        fill(freed, 0, 4096, 5);
        qxFree(freed);
        auto* next = static_cast<unsigned char*>(qxAllocLarge(c.asked));
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(firstDifference(next, 4096, 5) == 4096, c.reused)
            << c.freed << " then " << c.asked;
        qxFree(next);
    }
    // What is kept goes back before fresh memory is taken, so that keeping never raises a
    // process's peak: after a block that needed fresh memory the freed one is gone.
    auto* freed = static_cast<unsigned char*>(qxAlloc(8 * kMB));
    fill(freed, 0, 4096, 5);
    qxFree(freed);
    void* fresh = qxAlloc(40 * kMB);
    auto* again = static_cast<unsigned char*>(qxAlloc(8 * kMB));
    ASSERT_NE(again, nullptr);
    EXPECT_NE(firstDifference(again, 4096, 5), 4096u);
    qxFree(again);
    qxFree(fresh);
    platform::releaseFreedLargeBlocks();
}

} // namespace
