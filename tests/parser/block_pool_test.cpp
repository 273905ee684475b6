#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/parser/ss_block_pool.h"
#include "engine/parser/ss_exception.h"

namespace {

TEST(SSBlockPoolTest, ChunksOfThirtyTwoBlocksAreMadeOnDemandAndReused) {
    SSBlockPool pool;
    std::vector<void*> taken;
    for (int i = 0; i < 32; ++i) taken.push_back(pool.take());
    EXPECT_EQ(pool.chunkCount(), 1u);
    EXPECT_EQ(pool.freeCount(), 0u);
    taken.push_back(pool.take());
    EXPECT_EQ(pool.chunkCount(), 2u);
    EXPECT_EQ(pool.freeCount(), 31u);
    std::set<void*> distinct(taken.begin(), taken.end());
    EXPECT_EQ(distinct.size(), taken.size());
    for (void* block : taken) {
        EXPECT_TRUE(pool.owns(block));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
        std::memset(block, 0xAB, SSBlockPool::kBlockSize);  // every byte of a block is usable
    }
    // The last block given back is the next one taken; no chunk is added or returned.
    pool.giveBack(taken[5]);
    EXPECT_EQ(pool.take(), taken[5]);
    for (void* block : taken) pool.giveBack(block);
    EXPECT_EQ(pool.chunkCount(), 2u);
    EXPECT_EQ(pool.freeCount(), 64u);
    int local = 0;
    EXPECT_FALSE(pool.owns(&local));
    EXPECT_FALSE(pool.owns(static_cast<char*>(taken[0]) + 1));
}

TEST(SSBlockPoolTest, ThreadsNeverShareABlock) {
    SSBlockPool pool;
    std::vector<std::thread> threads;
    std::vector<int> clashes(6, 0);
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&pool, &clashes, t] {
            for (int round = 0; round < 2000; ++round) {
                void* blocks[5];
                for (void*& block : blocks) {
                    block = pool.take();
                    std::memset(block, t, SSBlockPool::kBlockSize);
                }
                for (void* block : blocks) {
                    const auto* bytes = static_cast<const unsigned char*>(block);
                    if (bytes[0] != t || bytes[SSBlockPool::kBlockSize - 1] != t) ++clashes[t];
                    pool.giveBack(block);
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < 6; ++t) EXPECT_EQ(clashes[t], 0) << t;
    EXPECT_EQ(pool.freeCount(), pool.chunkCount() * SSBlockPool::kBlocksPerChunk);
}

TEST(SSBlockPoolTest, RecordedErrorsAndSmallRuntimeBlocksComeFromThePool) {
    SSOptions().throwOnError = 0;
    SSErrorSlot slot;
    slot.raise(1, "file.tsm", 2L);
    ASSERT_TRUE(slot.pending());
    EXPECT_TRUE(SSPool().owns(slot.get()));
    EXPECT_STREQ(slot.get()->parameterString(0), "file.tsm");
    EXPECT_TRUE(SSPool().owns(slot.get()->parameterString(0)));
    // A string longer than a block is copied to the heap.
    std::string longName(300, 'x');
    slot.raise(1, longName.c_str(), 3L);
    EXPECT_EQ(slot.get()->parameterString(0), longName);
    EXPECT_FALSE(SSPool().owns(slot.get()->parameterString(0)));
    EXPECT_EQ(slot.get()->parameterLong(1), 3);
    slot.clear();
    SSOptions().throwOnError = 1;

    struct Case {
        std::size_t size;
        bool pooled;
    } cases[] = {{0, true}, {1, true}, {196, true}, {197, false}, {4096, false}};
    for (const Case& c : cases) {
        void* block = ssAlloc(c.size);
        ASSERT_NE(block, nullptr) << c.size;
        EXPECT_EQ(SSPool().owns(block), c.pooled) << c.size;
        ssFree(block);
    }
    ssFree(nullptr);
}

}  // namespace
