// The per-thread front of the default pool: blocks freed by other threads, the flush at
// thread exit, exact diagnostics while other threads hold cached blocks, and frees of
// blocks that are no longer live.
#include <cstdint>
#include <cstring>
#include <deque>
#include <atomic>
#include <latch>
#include <map>
#include <mutex>
#include <thread>

#include "foundation/allocator/pool_layout.h"
#include "foundation/allocator/thread_cache.h"
#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

using tessaro::allocator::kSmallCached;
using tessaro::allocator::kSmallLimit;
using tessaro::allocator::kWordBytes;
using tessaro::allocator::cache::KeepingList;
using tessaro::allocator::cache::kNoList;
using tessaro::allocator::kSmallFree;
using tessaro::allocator::LoadState;

// A variable block the pool made larger than its size (the remainder too small to split off)
// is no block of a size the cache keeps.
bool Uncached(void* b, std::size_t n) {
    return n >= kSmallLimit && KeepingList(static_cast<std::size_t>(TarrockSizeOf(b)) + kWordBytes) == kNoList;
}

// Every small class, from the smallest request to the largest small one.
constexpr std::size_t kSmallSizes[] = {1, 15, 16, 31, 47, 100, 127, 200, 239, 254};
// Small and variable requests up to the large threshold: all of them are cached.
constexpr std::size_t kCachedSizes[] = {1, 16, 100, 254, 255, 268, 300, 1000, 1021, 2100, 4000, 4096};

class ThreadCacheTest : public DefaultPoolTest {
protected:
    static std::uint8_t State(void* p) { return LoadState(static_cast<char*>(p)); }

    // Live and free blocks of the default pool as the heap walk shows them.
    static std::map<void*, int> Walk() {
        std::map<void*, int> blocks;
        TarrockHeapEntry entry{};
        int result;
        while ((result = TarrockHeapWalk(&entry)) == TARROCK_HEAP_OK) blocks[entry.pointer] = entry.inUse;
        EXPECT_EQ(result, TARROCK_HEAP_END);
        return blocks;
    }
};

TEST_F(ThreadCacheTest, BlocksFreedByAnotherThreadAreTakenAndNeverFreedTwice) {
    std::vector<std::pair<unsigned char*, std::size_t>> blocks;
    std::thread([&] {
        for (int round = 0; round < 40; ++round)
            for (std::size_t n : kCachedSizes) {
                auto* p = static_cast<unsigned char*>(Alloc(n));
                std::memset(p, static_cast<int>(n), n);
                blocks.emplace_back(p, n);
            }
    }).join();
    std::size_t size = TarrockPoolSize(pool_);
    std::thread([&] {
        for (auto [p, n] : blocks) {
            EXPECT_EQ(p[0], static_cast<unsigned char>(n));
            EXPECT_EQ(p[n - 1], static_cast<unsigned char>(n));
            EXPECT_EQ(TarrockFree(p), 1);
        }
    }).join();
    EXPECT_EQ(Reports::count, 0);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    EXPECT_LE(TarrockPoolSize(pool_), size);  // emptied variable pages may go back
    for (auto [p, n] : blocks) {
        Reports::Clear();
        EXPECT_NE(TarrockCheckPointer(pool_, p), 1) << n;  // free, or its emptied page gone
        EXPECT_EQ(TarrockFree(p), 0) << n;
        EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
        EXPECT_EQ(TarrockSizeOf(p), -1);
        EXPECT_EQ(TarrockRealloc(p, 10, 0), nullptr);
    }
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

// Per size: a second free, at once or after the block sat in a cache, and a pointer
// into the block are refused; later blocks never overlap.
TEST_F(ThreadCacheTest, SecondFreesAndInteriorPointersAreRefused) {
    for (std::size_t n : kCachedSizes) {
        auto* keep = static_cast<char*>(Alloc(n));
        auto* p = static_cast<char*>(Alloc(n));
        std::memset(p, 0, n);
        Reports::Clear();
        if (n > 16) {
            EXPECT_EQ(TarrockFree(p + 16), 0) << n;
            EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
        }
        EXPECT_EQ(TarrockFree(p), 1) << n;
        EXPECT_EQ(TarrockFree(p), 0) << n;
        EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
        Reports::Clear();
        std::thread([&] { EXPECT_EQ(TarrockFree(p), 0) << n; }).join();
        EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
        auto* a = static_cast<char*>(Alloc(n));
        auto* b = static_cast<char*>(Alloc(n));
        EXPECT_NE(a, b);
        EXPECT_NE(a, keep);
        EXPECT_NE(b, keep);
        EXPECT_EQ(TarrockCheckPool(pool_), 1) << n;
        for (char* q : {a, b, keep}) EXPECT_EQ(TarrockFree(q), 1);
    }
}

// Two threads free the same blocks at the same moment: each block is taken exactly
// once, and every second free is reported.
TEST_F(ThreadCacheTest, OnlyOneOfTwoSimultaneousFreesSucceeds) {
    constexpr int kBlocks = 4000;
    std::vector<void*> blocks;
    for (int i = 0; i < kBlocks; ++i)
        blocks.push_back(Alloc(kCachedSizes[static_cast<std::size_t>(i) % std::size(kCachedSizes)]));
    Reports::Clear();
    std::atomic<int> arrived{0};
    std::atomic<int> freed{0};
    // The two threads meet before every block, so that their frees overlap.
    auto freeAll = [&] {
        for (int i = 0; i < kBlocks; ++i) {
            ++arrived;
            while (arrived < 2 * (i + 1)) {
            }
            freed += TarrockFree(blocks[static_cast<std::size_t>(i)]);
        }
    };
    std::thread other(freeAll);
    freeAll();
    other.join();
    EXPECT_EQ(freed, kBlocks);
    EXPECT_EQ(Reports::count, kBlocks);
    EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    for (void* p : blocks) EXPECT_NE(TarrockCheckPointer(pool_, p), 1);
}

TEST_F(ThreadCacheTest, DiagnosticsAreExactWhileAnotherThreadHoldsBlocks) {
    auto liveBlocks = [](const std::map<void*, int>& walk) {
        std::size_t count = 0;
        for (auto [p, inUse] : walk) count += inUse;
        return count;
    };
    std::size_t liveBefore = liveBlocks(Walk());
    std::vector<void*> live, freed;
    std::latch held(1), checked(1);
    std::thread worker([&] {
        for (int round = 0; round < 30; ++round)
            for (std::size_t n : kCachedSizes) (round % 2 ? live : freed).push_back(Alloc(n));
        for (void* p : freed) TarrockFree(p);
        held.count_down();
        checked.wait();
        for (void* p : live) TarrockFree(p);
    });
    held.wait();
    // The worker's cache holds most of the freed blocks now.
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    EXPECT_EQ(TarrockHeapCheck(), TARROCK_HEAP_OK);
    std::map<void*, int> walk = Walk();
    for (void* p : live) {
        EXPECT_EQ(TarrockCheckPointer(pool_, p), 1);
        EXPECT_EQ(walk.count(p) ? walk[p] : 0, 1);
    }
    // A freed block is free or, when the worker's overflow emptied its variable page, gone.
    for (void* p : freed) {
        EXPECT_NE(TarrockCheckPointer(pool_, p), 1);
        EXPECT_EQ(walk.count(p) ? walk[p] : 0, 0);
    }
    EXPECT_EQ(liveBlocks(walk), liveBefore + live.size());
    checked.count_down();
    worker.join();
    walk = Walk();
    for (void* p : live) EXPECT_EQ(walk[p], 0);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    EXPECT_EQ(Reports::count, 0);
}

TEST_F(ThreadCacheTest, AThreadsCacheGoesBackToThePoolWhenItEnds) {
    auto work = [this](std::vector<void*>* kept) {
        std::vector<void*> mine;
        for (int round = 0; round < 64; ++round)
            for (std::size_t n : kSmallSizes) mine.push_back(Alloc(n));
        for (void* p : mine) TarrockFree(p);
        if (kept) *kept = mine;
    };
    std::vector<void*> first;
    std::thread(work, &first).join();
    // On the pool's lists, in no cache.
    for (void* p : first) EXPECT_EQ(State(p) & 0xE0, kSmallFree) << p;
    // Thread after thread reuses the same blocks: the pool does not grow.
    std::size_t size = TarrockPoolSize(pool_);
    for (int t = 0; t < 20; ++t) std::thread(work, nullptr).join();
    EXPECT_EQ(TarrockPoolSize(pool_), size);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    EXPECT_EQ(Reports::count, 0);
}

// Variable blocks cached by a thread keep their pages; when the thread ends they are freed
// into their pages, and the emptied pages go back to the system.
TEST_F(ThreadCacheTest, AnEndingThreadsVariableBlocksLetTheirPagesGo) {
    auto work = [this] {
        std::vector<void*> mine;
        for (int i = 0; i < 200; ++i) mine.push_back(Alloc(static_cast<std::size_t>(300 + i * 97 % 3700)));
        for (void* p : mine) TarrockFree(p);
    };
    std::thread(work).join();
    std::size_t size = TarrockPoolSize(pool_);
    for (int t = 0; t < 5; ++t) {
        std::thread(work).join();
        EXPECT_EQ(TarrockPoolSize(pool_), size);
    }
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    EXPECT_EQ(Reports::count, 0);
}

TEST_F(ThreadCacheTest, HeapMinimizeEmptiesTheCallersCache) {
    std::vector<void*> blocks;
    for (std::size_t n : kSmallSizes) blocks.push_back(Alloc(n));
    for (void* p : blocks) TarrockFree(p);
    bool cached = false;
    for (void* p : blocks) cached = cached || (State(p) & 0xE0) == kSmallCached;
    EXPECT_TRUE(cached);
    EXPECT_EQ(TarrockHeapMin(), 0);
    for (void* p : blocks) EXPECT_EQ(State(p) & 0xE0, kSmallFree);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

// A write after free over the link of a cached block: the damage is reported when the
// link is followed, and the pool hands out good blocks instead of the bad address.
TEST_F(ThreadCacheTest, ADamagedCacheListIsReportedAndNotFollowed) {
    std::thread([this] {
        std::vector<char*> larger;
        for (std::size_t n : {std::size_t(40), std::size_t(1000)})
            for (std::uintptr_t garbage : {std::uintptr_t(0x4141414141414141), std::uintptr_t(8)}) {
                // An uncached block would leave the write below on the page's own list.
                auto* p = static_cast<char*>(Alloc(n));
                while (Uncached(p, n)) {
                    ASSERT_LT(larger.size(), 64u);
                    larger.push_back(p);
                    p = static_cast<char*>(Alloc(n));
                }
                auto* keep = static_cast<char*>(Alloc(n));
                TarrockFree(p);
                std::memcpy(p, &garbage, sizeof garbage);
                Reports::Clear();
                EXPECT_EQ(Alloc(n), p);
                auto* next = static_cast<char*>(Alloc(n));
                EXPECT_EQ(Reports::lastCode, MEM_BAD_FREE_BLOCK) << n;
                EXPECT_EQ(TarrockCheckPointer(pool_, next), 1);
                EXPECT_NE(next, keep);
                EXPECT_NE(next, p);
                for (char* q : {p, keep, next}) EXPECT_EQ(TarrockFree(q), 1);
            }
        for (char* q : larger) EXPECT_EQ(TarrockFree(q), 1);
    }).join();
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

TEST_F(ThreadCacheTest, ZeroFilledBlocksComeCleanOutOfTheCache) {
    std::vector<void*> larger;
    for (std::size_t n : kCachedSizes) {
        auto* dirty = static_cast<unsigned char*>(Alloc(n));
        while (Uncached(dirty, n)) {
            ASSERT_LT(larger.size(), 64u);
            larger.push_back(dirty);
            dirty = static_cast<unsigned char*>(Alloc(n));
        }
        std::memset(dirty, 0xEE, n);
        TarrockFree(dirty);
        auto* clean = static_cast<unsigned char*>(TarrockAlloc(pool_, n, TARROCK_ZERO_INIT));
        EXPECT_EQ(clean, dirty);  // the block just freed comes back first
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(clean[i], 0) << n;
        TarrockFree(clean);
    }
    for (void* q : larger) EXPECT_EQ(TarrockFree(q), 1);
}

// Blocks handed from the threads that make them to the threads that free them.
TEST_F(ThreadCacheTest, ProducersAndConsumersLeaveAConsistentPool) {
    constexpr int kPairs = 4;
    constexpr int kBlocks = 20000;
    std::mutex lock;
    std::deque<std::pair<unsigned char*, std::size_t>> queue;  // block and size
    std::atomic<int> bad{0};
    std::atomic<int> producing{kPairs};
    std::vector<std::thread> threads;
    for (int t = 0; t < kPairs; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kBlocks; ++i) {
                std::size_t n = static_cast<std::size_t>((i * 37 + t) % 4096 + 1);
                auto* p = static_cast<unsigned char*>(Alloc(n));
                if (!p || reinterpret_cast<std::uintptr_t>(p) % 16) {
                    ++bad;
                    continue;
                }
                std::memset(p, static_cast<unsigned char>(n), n);
                std::lock_guard<std::mutex> guard(lock);
                queue.emplace_back(p, n);
            }
            --producing;
        });
        threads.emplace_back([&] {
            for (;;) {
                bool finished = producing == 0;
                std::pair<unsigned char*, std::size_t> item{nullptr, 0};
                {
                    std::lock_guard<std::mutex> guard(lock);
                    if (!queue.empty()) {
                        item = queue.front();
                        queue.pop_front();
                    }
                }
                if (!item.first) {
                    if (finished) break;
                    std::this_thread::yield();
                    continue;
                }
                for (std::size_t i = 0; i < item.second; ++i)
                    if (item.first[i] != static_cast<unsigned char>(item.second)) ++bad;
                if (TarrockFree(item.first) != 1) ++bad;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(Reports::count, 0);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

}  // namespace
}  // namespace allocator_test
