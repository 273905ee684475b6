// Page size, fixed size, floor, ceiling, pre-allocation and shrink.
#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

struct PageSizeCase {
    unsigned requested;
    unsigned applied;
};

TEST_F(PoolTest, PageSizeIsNormalisedAndMovesTheLargeThreshold) {
    const PageSizeCase cases[] = {{16384, 16384}, {70000, 65535}, {65535, 65535}, {4000, 4096},
                                  {4096, 4096},   {5000, 8192},   {9000, 16384},  {40000, 65535}};
    unsigned previous = 16384;
    for (const PageSizeCase& c : cases) {
        EXPECT_EQ(TarrockSetPageSize(pool_, c.requested), previous) << c.requested;
        TarrockPoolInfoRecord info{};
        ASSERT_EQ(TarrockPoolInfo(pool_, nullptr, &info), 1);
        EXPECT_EQ(info.pageSize, c.applied) << c.requested;
        previous = c.applied;
    }
    ASSERT_EQ(TarrockSetPageSize(pool_, 8192), 65535u);
    void* p = TarrockAlloc(pool_, 3000, 0);  // above 8192 / 4: a large block
    EXPECT_EQ(TarrockSizeOf(p), 4096 - 64);
    void* q = TarrockAlloc(pool_, 2000, 0);
    EXPECT_EQ(TarrockSizeOf(q), 2012);
}

TEST_F(PoolTest, PageSizeBelowTheFixedBlockIsNotApplied) {
    ASSERT_EQ(TarrockSetFixedSize(pool_, 4040), 1);
    EXPECT_EQ(TarrockSetPageSize(pool_, 4096), 0u);  // 4048 + the header does not fit
    ASSERT_EQ(TarrockSetFixedSize(pool_, 100), 1);
    EXPECT_EQ(TarrockSetPageSize(pool_, 4096), 16384u);
    EXPECT_EQ(TarrockSetFixedSize(pool_, 5000), 0);
    EXPECT_EQ(Reports::lastCode, MEM_BLOCK_TOO_BIG);
}

TEST_F(PoolTest, FixedSizePoolsHandOutEqualBlocksAndReleaseEmptyPages) {
    TarrockPool fixed = TarrockCreatePool(24, 0, 0);
    ASSERT_NE(fixed, nullptr);
    std::size_t empty = TarrockPoolSize(fixed);
    std::vector<void*> blocks;
    for (int i = 0; i < 1000; ++i) {
        void* p = TarrockAllocFixed(fixed);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(Aligned(p));
        EXPECT_EQ(TarrockSizeOf(p), 32);
        blocks.push_back(p);
    }
    EXPECT_EQ(TarrockCheckPool(fixed), 1);
    EXPECT_EQ(TarrockCheckPointer(fixed, blocks[999]), 1);
    TarrockFree(blocks[999]);
    EXPECT_EQ(TarrockCheckPointer(fixed, blocks[999]), -1);
    EXPECT_EQ(TarrockFree(blocks[999]), 0);  // a second free is refused
    EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
    EXPECT_EQ(TarrockAllocFixed(fixed), blocks[999]);
    for (void* p : blocks) TarrockFree(p);
    EXPECT_EQ(TarrockPoolSize(fixed), empty);
    EXPECT_EQ(TarrockCheckPool(fixed), 1);
    TarrockFreePool(fixed);

    Reports::Clear();
    EXPECT_EQ(TarrockAllocFixed(pool_), nullptr);  // no fixed size
    EXPECT_EQ(Reports::lastCode, MEM_ALLOC_ZERO);
}

TEST_F(PoolTest, PreAllocationAddsPagesOfTheKindAsked) {
    TarrockPool fixed = TarrockCreatePool(32, 1000, 0);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(TarrockPoolSize(fixed), 4096u + 2 * 16384);  // 32000 bytes of fixed blocks
    std::size_t before = TarrockPoolSize(fixed);
    for (int i = 0; i < 500; ++i) ASSERT_NE(TarrockAllocFixed(fixed), nullptr);
    EXPECT_EQ(TarrockPoolSize(fixed), before);  // served from the pages already there
    TarrockFreePool(fixed);

    EXPECT_EQ(TarrockPreAllocate(pool_, 40000, TARROCK_VARIABLE_PAGES), 3 * 16384);
    EXPECT_EQ(TarrockPreAllocate(pool_, 1, TARROCK_VARIABLE_RESERVED_PAGES), 16384);
    TarrockPoolInfoRecord info{};
    TarrockPoolInfo(pool_, nullptr, &info);
    EXPECT_EQ(info.kinds, 2u | 4u);
    EXPECT_EQ(TarrockPreAllocate(pool_, 1, 3), -1);
    EXPECT_EQ(TarrockPreAllocate(pool_, 1, TARROCK_FIXED_PAGES), -1);
    EXPECT_EQ(Reports::lastCode, MEM_ALLOC_ZERO);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

TEST_F(PoolTest, ShrinkReleasesEmptyPagesDownToTheFloor) {
    std::size_t empty = TarrockPoolSize(pool_);
    ASSERT_EQ(TarrockPreAllocate(pool_, 4 * 16384, TARROCK_VARIABLE_PAGES), 4 * 16384);
    EXPECT_EQ(TarrockSetFloor(pool_, empty + 2 * 16384), 0u);
    EXPECT_EQ(TarrockShrinkPool(pool_), 2u * 16384);
    EXPECT_EQ(TarrockPoolSize(pool_), empty + 2 * 16384);
    EXPECT_EQ(TarrockSetFloor(pool_, 0), empty + 2 * 16384);
    EXPECT_EQ(TarrockShrinkPool(pool_), 2u * 16384);
    EXPECT_EQ(TarrockPoolSize(pool_), empty);
    // The floor also keeps a page whose last block is freed.
    TarrockSetFloor(pool_, empty + 16384);
    void* p = TarrockAlloc(pool_, 1000, 0);
    TarrockFree(p);
    EXPECT_EQ(TarrockPoolSize(pool_), empty + 16384);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

TEST_F(PoolTest, CeilingAndFloorAreCheckedAgainstEachOtherAndTheTotal) {
    std::size_t total = TarrockPoolSize(pool_);
    EXPECT_EQ(TarrockSetCeiling(pool_, total - 1), TARROCK_REFUSED);
    EXPECT_EQ(TarrockSetCeiling(pool_, total + 65536 + 16384), TARROCK_NO_CEILING);
    EXPECT_EQ(TarrockSetFloor(pool_, total + 65536 + 16385), TARROCK_REFUSED);
    EXPECT_EQ(TarrockSetFloor(pool_, 100), 0u);
    EXPECT_EQ(TarrockSetCeiling(pool_, 99), TARROCK_REFUSED);  // below the floor
    EXPECT_NE(TarrockAlloc(pool_, 10, 0), nullptr);            // a small page
    EXPECT_NE(TarrockAlloc(pool_, 1000, 0), nullptr);          // a variable page
    Reports::Clear();
    EXPECT_EQ(TarrockAlloc(pool_, 5000, 0), nullptr);  // a large page would pass it
    EXPECT_EQ(Reports::lastCode, MEM_EXCEEDED_CEILING);
    EXPECT_EQ(Reports::lastPool, pool_);
    // All ones means no limit and is kept one below.
    EXPECT_EQ(TarrockSetCeiling(pool_, SIZE_MAX), total + 65536 + 16384);
    EXPECT_EQ(TarrockSetCeiling(pool_, SIZE_MAX), TARROCK_NO_CEILING);
    EXPECT_NE(TarrockAlloc(pool_, 5000, 0), nullptr);
}

TEST_F(PoolTest, EveryOperationOnADeadPoolReportsBadPool) {
    alignas(64) static unsigned char fake[4096] = {};
    auto bad = reinterpret_cast<TarrockPool>(fake);
    auto expectBadPool = [](auto result, auto refused) {
        EXPECT_EQ(result, refused);
        EXPECT_EQ(Reports::lastCode, MEM_BAD_MEM_POOL);
        EXPECT_EQ(Reports::lastPool, nullptr);
        Reports::Clear();
    };
    expectBadPool(TarrockAlloc(bad, 10, 0), nullptr);
    expectBadPool(TarrockAllocFixed(bad), nullptr);
    expectBadPool(TarrockSetPageSize(bad, 8192), 0u);
    expectBadPool(TarrockSetFixedSize(bad, 32), 0);
    expectBadPool(TarrockSetFloor(bad, 1), TARROCK_REFUSED);
    expectBadPool(TarrockSetCeiling(bad, 1), TARROCK_REFUSED);
    expectBadPool(TarrockPoolSize(bad), std::size_t(0));
    expectBadPool(TarrockShrinkPool(bad), std::size_t(0));
    expectBadPool(TarrockPreAllocate(bad, 1, TARROCK_VARIABLE_PAGES), std::ptrdiff_t(-1));
    expectBadPool(TarrockCheckPool(bad), 0);
    expectBadPool(TarrockFreePool(bad), 0);
    expectBadPool(TarrockLockPool(bad), 0);
}

}  // namespace
}  // namespace allocator_test
