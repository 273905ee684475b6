// Small blocks handed from one thread's cache to another's: a full list leaves half of its
// blocks in the default pool as a chain, the next thread whose list runs empty takes the
// chain whole; the blocks stay cached meanwhile, the diagnostics see each of them, damage
// to a chain is reported and not followed, and a thread that ends gives the chains back.
#include <cstdint>
#include <cstring>
#include <latch>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "foundation/allocator/pool_layout.h"
#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

using tessaro::allocator::AsRecord;
using tessaro::allocator::kSmallCached;
using tessaro::allocator::kSmallFree;
using tessaro::allocator::LoadState;
using tessaro::allocator::SmallClass;

constexpr std::size_t kSize = 40;  // a class whose full list hands on chains of 32

class CacheHandoverTest : public DefaultPoolTest {
protected:
    void SetUp() override {
        DefaultPoolTest::SetUp();
        // A thread that ends gives every waiting chain back: the pool starts with none.
        std::thread([] {}).join();
    }
    static std::uint8_t Tag(void* p) { return LoadState(static_cast<char*>(p)) & 0xE0; }
    std::vector<void*> AllocatedByAnotherThread(int count) {
        std::vector<void*> blocks;
        std::thread([&] {
            for (int i = 0; i < count; ++i) blocks.push_back(Alloc(kSize));
        }).join();
        return blocks;
    }
    unsigned WaitingChains() {
        TarrockLockPool(pool_);
        unsigned chains = AsRecord(pool_)->batchCounts[SmallClass(kSize)];
        TarrockUnlockPool(pool_);
        return chains;
    }
};

TEST_F(CacheHandoverTest, ChainsGoFromTheThreadThatFreesToTheThreadThatAllocates) {
    std::vector<void*> blocks = AllocatedByAnotherThread(200);
    std::set<void*> theirs(blocks.begin(), blocks.end());
    std::latch freed(1), taken(1);
    std::thread consumer([&] {
        for (void* p : blocks) EXPECT_EQ(TarrockFree(p), 1);
        freed.count_down();
        taken.wait();
    });
    freed.wait();
    EXPECT_GE(WaitingChains(), 4u);
    // Cached, in the consumer's list or a chain: free to every diagnostic, refused a second free.
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    EXPECT_EQ(TarrockHeapCheck(), TARROCK_HEAP_OK);
    std::map<void*, int> walked;
    TarrockHeapEntry entry{};
    while (TarrockHeapWalk(&entry) == TARROCK_HEAP_OK) walked[entry.pointer] = entry.inUse;
    for (void* p : blocks) {
        EXPECT_EQ(Tag(p), kSmallCached);
        ASSERT_EQ(walked.count(p), 1u);
        EXPECT_EQ(walked[p], 0);
        EXPECT_EQ(TarrockCheckPointer(pool_, p), -1);
    }
    Reports::Clear();
    EXPECT_EQ(TarrockFree(blocks[0]), 0);
    EXPECT_EQ(TarrockFree(blocks[150]), 0);
    EXPECT_EQ(Reports::count, 2);
    EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);

    std::vector<void*> again;
    std::thread([&] {
        for (int i = 0; i < 128; ++i) again.push_back(Alloc(kSize));
        for (void* p : again) EXPECT_EQ(TarrockCheckPointer(pool_, p), 1);
        for (void* p : again) EXPECT_EQ(TarrockFree(p), 1);
    }).join();
    std::size_t reused = 0;
    for (void* p : again) reused += theirs.count(p);
    EXPECT_EQ(reused, 128u);  // four chains, taken whole
    taken.count_down();
    consumer.join();
    // Both threads ended: every block is back on the pool's lists.
    for (void* p : blocks) EXPECT_EQ(Tag(p), kSmallFree) << p;
    EXPECT_EQ(WaitingChains(), 0u);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

// A write after free over the link inside a waiting chain: the pool check reports it, and the
// thread that takes the chain reports it when it reaches the link and hands out good blocks.
TEST_F(CacheHandoverTest, ADamagedChainIsReportedAndNotFollowed) {
    std::vector<void*> blocks = AllocatedByAnotherThread(100);
    std::latch freed(1), done(1);
    std::thread consumer([&] {
        for (void* p : blocks) TarrockFree(p);
        freed.count_down();
        done.wait();
    });
    freed.wait();
    unsigned k = SmallClass(kSize);
    TarrockLockPool(pool_);
    unsigned chains = AsRecord(pool_)->batchCounts[k];
    char* head = chains ? AsRecord(pool_)->batches[k][chains - 1].head : nullptr;
    TarrockUnlockPool(pool_);
    ASSERT_NE(head, nullptr);
    char* second = *reinterpret_cast<char**>(head);
    const std::uintptr_t garbage = 0x4141414141414141;
    std::memcpy(second, &garbage, sizeof garbage);
    Reports::Clear();
    EXPECT_EQ(TarrockCheckPool(pool_), 0);
    EXPECT_EQ(Reports::lastCode, MEM_BAD_FREE_BLOCK);

    Reports::Clear();
    std::vector<void*> taken;
    std::thread([&] {
        for (int i = 0; i < 40; ++i) taken.push_back(Alloc(kSize));
        for (void* p : taken) EXPECT_EQ(TarrockCheckPointer(pool_, p), 1) << p;
        for (void* p : taken) EXPECT_EQ(TarrockFree(p), 1);
    }).join();
    EXPECT_EQ(Reports::lastCode, MEM_BAD_FREE_BLOCK);
    EXPECT_EQ(taken[0], head);
    EXPECT_EQ(taken[1], second);
    EXPECT_EQ(std::set<void*>(taken.begin(), taken.end()).size(), taken.size());
    done.count_down();
    consumer.join();
    EXPECT_EQ(TarrockCheckPool(pool_), 1);  // the rest of the damaged chain stays lent out
}

}  // namespace
}  // namespace allocator_test
