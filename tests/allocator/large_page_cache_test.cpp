// Large pages of the default pool kept in the threads' caches: a kept page is no page to the
// caller or to the diagnostics (as a released page is not), its bytes leave the pool's total,
// a page freed by another thread serves that thread's next request of its size, a second
// free is reported, and a thread that ends gives its pages back.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <latch>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

// One region each (8 to 40 KB committed); two of each fit a thread's cache.
constexpr std::size_t kLargeSizes[] = {4097, 5000, 9000, 20000, 40000};

class LargePageCacheTest : public DefaultPoolTest {
protected:
    static std::set<void*> Walked() {
        std::set<void*> blocks;
        TarrockHeapEntry entry{};
        while (TarrockHeapWalk(&entry) == TARROCK_HEAP_OK) blocks.insert(entry.pointer);
        return blocks;
    }
    // Every report the faults of `blocks` must give as for a page that is gone.
    void ExpectGone(void* p) {
        Reports::Clear();
        EXPECT_EQ(TarrockCheckPointer(pool_, p), 0);
        EXPECT_EQ(TarrockFree(p), 0);
        EXPECT_EQ(TarrockSizeOf(p), -1);
        EXPECT_EQ(TarrockRealloc(p, 10, 0), nullptr);
        EXPECT_EQ(Reports::count, 4);
        EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
    }
};

TEST_F(LargePageCacheTest, PagesFreedByAnotherThreadServeItsNextRequestsAndLookReleased) {
    std::vector<std::pair<unsigned char*, std::size_t>> blocks;
    std::thread([&] {
        for (int copy = 0; copy < 2; ++copy)
            for (std::size_t n : kLargeSizes) {
                auto* p = static_cast<unsigned char*>(Alloc(n));
                ASSERT_NE(p, nullptr);
                std::memset(p, static_cast<int>(n & 0xFF), n);
                blocks.emplace_back(p, n);
            }
    }).join();
    std::size_t withBlocks = TarrockPoolSize(pool_);
    std::latch freed(1), checked(1);
    std::thread keeper([&] {
        for (auto [p, n] : blocks) {
            EXPECT_EQ(p[n - 1], static_cast<unsigned char>(n & 0xFF));
            EXPECT_EQ(TarrockFree(p), 1);
        }
        freed.count_down();
        checked.wait();
        // The same sizes again: the pages this thread keeps, the most recent first.
        std::multiset<void*> again;
        for (int copy = 0; copy < 2; ++copy)
            for (std::size_t n : kLargeSizes) again.insert(Alloc(n));
        std::multiset<void*> before;
        for (auto [p, n] : blocks) before.insert(p);
        EXPECT_EQ(again, before);
        for (void* p : again) {
            EXPECT_EQ(TarrockCheckPointer(pool_, p), 1);
            EXPECT_EQ(TarrockFree(p), 1);
        }
    });
    freed.wait();
    std::size_t kept = 0;
    for (auto [p, n] : blocks) kept += (n + 64 + 4095) / 4096 * 4096;
    EXPECT_EQ(TarrockPoolSize(pool_), withBlocks - kept);  // out of the total, as released pages
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    EXPECT_EQ(TarrockHeapCheck(), TARROCK_HEAP_OK);
    std::set<void*> walked = Walked();
    for (auto [p, n] : blocks) {
        EXPECT_EQ(walked.count(p), 0u) << n;
        ExpectGone(p);
    }
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    Reports::Clear();
    checked.count_down();
    keeper.join();
    EXPECT_EQ(Reports::count, 0);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

// A thread that ends gives its kept pages back: the pool's total and the walk are as they
// were before it allocated, thread after thread.
TEST_F(LargePageCacheTest, AnEndingThreadsPagesGoBack) {
    auto work = [this] {
        std::vector<void*> mine;
        for (int round = 0; round < 3; ++round)
            for (std::size_t n : kLargeSizes) mine.push_back(Alloc(n + static_cast<std::size_t>(round) * 17));
        for (void* p : mine) EXPECT_EQ(TarrockFree(p), 1);
    };
    std::thread(work).join();
    std::size_t size = TarrockPoolSize(pool_);
    std::set<void*> walked = Walked();
    for (int t = 0; t < 5; ++t) {
        std::thread(work).join();
        EXPECT_EQ(TarrockPoolSize(pool_), size);
        EXPECT_EQ(Walked(), walked);
    }
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    EXPECT_EQ(Reports::count, 0);
}

// More pages than a cache keeps: the rest are released at once, and all of them are gone to
// the caller alike.
TEST_F(LargePageCacheTest, PagesBeyondTheCachesBoundAreReleased) {
    std::thread([this] {
        std::vector<void*> blocks;
        auto allocateAndFree = [&] {
            blocks.clear();
            for (int i = 0; i < 40; ++i) blocks.push_back(Alloc(30000));
            for (void* p : blocks) EXPECT_EQ(TarrockFree(p), 1);
        };
        // The first round may count a page of descriptors into the total for good.
        allocateAndFree();
        std::size_t before = TarrockPoolSize(pool_);
        allocateAndFree();
        EXPECT_EQ(TarrockPoolSize(pool_), before);
        for (void* p : blocks) ExpectGone(p);
    }).join();
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

// Two threads free the same large blocks at the same moment, through their caches or (once
// their lists are full) the locked road: each block is freed exactly once. (Few enough blocks
// that the region cache keeps every released region mapped.)
TEST_F(LargePageCacheTest, OnlyOneOfTwoSimultaneousFreesSucceeds) {
    constexpr int kBlocks = 60;
    TarrockHeapMin();
    std::vector<void*> blocks;
    for (int i = 0; i < kBlocks; ++i) blocks.push_back(Alloc(kLargeSizes[static_cast<std::size_t>(i) % std::size(kLargeSizes)]));
    Reports::Clear();
    std::atomic<int> arrived{0};
    std::atomic<int> freed{0};
    auto freeAll = [&] {
        for (int i = 0; i < kBlocks; ++i) {
            ++arrived;
            while (arrived < 2 * (i + 1)) std::this_thread::yield();
            freed += TarrockFree(blocks[static_cast<std::size_t>(i)]);
        }
    };
    std::thread first(freeAll);
    std::thread second(freeAll);
    first.join();
    second.join();
    EXPECT_EQ(freed, kBlocks);
    EXPECT_EQ(Reports::count, kBlocks);
    EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

// A kept page never lets the pool pass a ceiling set after it was kept, and with a ceiling
// freed pages go back at once.
TEST_F(LargePageCacheTest, ACeilingStopsTheCache) {
    struct Lifted {
        TarrockPool pool;
        ~Lifted() { TarrockSetCeiling(pool, TARROCK_NO_CEILING); }
    };
    std::thread([this] {
        // Free descriptors for the pages below: a first use of a page of descriptors would
        // count into the total. (Pages beyond a region are never kept.)
        std::vector<void*> spare;
        for (int i = 0; i < 4; ++i) spare.push_back(Alloc(100000));
        for (void* q : spare) ASSERT_EQ(TarrockFree(q), 1);
        void* p = Alloc(50000);
        ASSERT_EQ(TarrockFree(p), 1);
        std::size_t size = TarrockPoolSize(pool_);
        Lifted lifted{pool_};
        ASSERT_NE(TarrockSetCeiling(pool_, size + 8192), TARROCK_REFUSED);
        Reports::Clear();
        EXPECT_EQ(Alloc(50000), nullptr);
        EXPECT_EQ(Reports::lastCode, MEM_EXCEEDED_CEILING);
        EXPECT_EQ(TarrockPoolSize(pool_), size);
        void* fits = Alloc(5000);
        ASSERT_NE(fits, nullptr);
        EXPECT_EQ(TarrockFree(fits), 1);
        EXPECT_EQ(TarrockPoolSize(pool_), size);  // released, not kept
        TarrockSetCeiling(pool_, TARROCK_NO_CEILING);
        void* again = Alloc(50000);
        EXPECT_EQ(again, p);  // the kept page serves again once the ceiling is gone
        EXPECT_EQ(TarrockFree(again), 1);
    }).join();
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

TEST_F(LargePageCacheTest, ZeroFilledBlocksComeCleanOutOfTheCache) {
    std::thread([this] {
        for (std::size_t n : kLargeSizes) {
            auto* dirty = static_cast<unsigned char*>(Alloc(n));
            std::memset(dirty, 0xEE, n);
            TarrockFree(dirty);
            auto* clean = static_cast<unsigned char*>(TarrockAlloc(pool_, n, TARROCK_ZERO_INIT));
            EXPECT_EQ(clean, dirty);
            EXPECT_TRUE(std::all_of(clean, clean + n, [](unsigned char c) { return c == 0; })) << n;
            TarrockFree(clean);
        }
    }).join();
}

}  // namespace
}  // namespace allocator_test
