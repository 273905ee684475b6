// The three block regimes at their boundaries, and what each does with its pages.
#include <cstring>

#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

struct Regime {
    std::size_t request;
    std::ptrdiff_t usable;  // of the 64-bit layout
    std::size_t pageGrowth;
};

class BlockRegimes : public PoolTest, public ::testing::WithParamInterface<Regime> {};

TEST_P(BlockRegimes, UsableSizeAlignmentAndPageCost) {
    const Regime& r = GetParam();
    std::size_t before = TarrockPoolSize(pool_);
    void* p = TarrockAlloc(pool_, r.request, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(Aligned(p));
    EXPECT_EQ(TarrockSizeOf(p), r.usable);
    EXPECT_GE(TarrockSizeOf(p), static_cast<std::ptrdiff_t>(r.request));
    EXPECT_EQ(TarrockPoolSize(pool_) - before, r.pageGrowth);
    std::memset(p, 0xAB, r.request);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    EXPECT_EQ(TarrockFree(p), 1);
    EXPECT_EQ(Reports::count, 0);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, BlockRegimes,
                         ::testing::Values(Regime{1, 15, 65536}, Regime{10, 15, 65536}, Regime{15, 15, 65536},
                                           Regime{16, 31, 65536}, Regime{254, 255, 65536},  // largest small block
                                           Regime{255, 268, 16384},                         // smallest variable
                                           Regime{4096, 4108, 16384},                       // largest variable
                                           Regime{4097, 8128, 8192},                        // large: 8192 - 64
                                           Regime{100000, 102336, 102400}));

TEST_F(PoolTest, ZeroSizeIsReportedAndRefused) {
    EXPECT_EQ(TarrockAlloc(pool_, 0, 0), nullptr);
    EXPECT_EQ(Reports::lastCode, MEM_ALLOC_ZERO);
    EXPECT_EQ(Reports::lastPool, pool_);
}

TEST_F(PoolTest, FreeingTheLastBlockReleasesVariableAndLargePagesButKeepsSmallOnes) {
    std::size_t empty = TarrockPoolSize(pool_);
    void* small = TarrockAlloc(pool_, 100, 0);
    std::size_t withSmall = TarrockPoolSize(pool_);
    TarrockFree(small);
    EXPECT_EQ(TarrockPoolSize(pool_), withSmall);  // small pages stay

    void* variable = TarrockAlloc(pool_, 1000, 0);
    EXPECT_EQ(TarrockPoolSize(pool_), withSmall + 16384);
    TarrockFree(variable);
    EXPECT_EQ(TarrockPoolSize(pool_), withSmall);

    void* large = TarrockAlloc(pool_, 50000, 0);
    EXPECT_GT(TarrockPoolSize(pool_), withSmall);
    TarrockFree(large);
    EXPECT_EQ(TarrockPoolSize(pool_), withSmall);
    EXPECT_GT(withSmall, empty);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

TEST_F(PoolTest, SmallBlocksComeBackFromTheirClassList) {
    void* a = TarrockAlloc(pool_, 40, 0);
    void* b = TarrockAlloc(pool_, 40, 0);
    EXPECT_EQ(static_cast<char*>(b) - static_cast<char*>(a), 48);  // stride of class 3
    TarrockFree(a);
    EXPECT_EQ(TarrockAlloc(pool_, 35, 0), a);  // same class, popped from its list
    EXPECT_NE(TarrockAlloc(pool_, 50, 0), a);
}

TEST_F(PoolTest, EveryBlockIsAlignedTo16AndZeroFillIsHonoured) {
    std::vector<void*> blocks;
    for (std::size_t n = 1; n < 9000; n += 37) {
        void* p = TarrockAlloc(pool_, n, TARROCK_ZERO_INIT);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(Aligned(p)) << n;
        auto* bytes = static_cast<unsigned char*>(p);
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(bytes[i], 0) << n;
        std::memset(p, 0xFF, n);
        blocks.push_back(p);
    }
    for (std::size_t i = 0; i < blocks.size(); i += 2) TarrockFree(blocks[i]);
    for (std::size_t n = 1; n < 9000; n += 37) {
        auto* bytes = static_cast<unsigned char*>(TarrockAlloc(pool_, n, TARROCK_ZERO_INIT));
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(bytes[i], 0) << n;
    }
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

TEST_F(PoolTest, RequestsBeyondAnyRegionAreTooBigNotWrapped) {
    for (std::size_t n : {SIZE_MAX, SIZE_MAX - 16, SIZE_MAX / 2 + 1}) {
        Reports::Clear();
        EXPECT_EQ(TarrockAlloc(pool_, n, 0), nullptr);
        EXPECT_EQ(Reports::lastCode, MEM_BLOCK_TOO_BIG);
    }
    void* p = TarrockAlloc(pool_, 100, 0);
    EXPECT_EQ(TarrockRealloc(p, SIZE_MAX - 8, 0), nullptr);
    EXPECT_EQ(TarrockSizeOf(p), 111);  // the block is unchanged
}

}  // namespace
}  // namespace allocator_test

namespace allocator_test {
namespace {

// Regions given back by large blocks and empty pages are reused; what a zero-filled
// request gets from them must still read as zero.
TEST_F(PoolTest, ReusedRegionsAreZeroedWhenAsked) {
    for (std::size_t n : {1000, 6000, 40000, 300000}) {
        void* dirty = TarrockAlloc(pool_, n, 0);
        std::memset(dirty, 0xC3, n);
        TarrockFree(dirty);
        auto* clean = static_cast<unsigned char*>(TarrockAlloc(pool_, n, TARROCK_ZERO_INIT));
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(clean[i], 0) << n << " at " << i;
        std::memset(clean, 0xC3, n);
        TarrockFree(clean);
    }
    // Growing a large block in place zero-fills the added part on request.
    auto* large = static_cast<unsigned char*>(TarrockAlloc(pool_, 40000, 0));
    std::memset(large, 0xC3, 40000);
    ASSERT_EQ(TarrockRealloc(large, 20000, 0), large);
    ASSERT_EQ(TarrockRealloc(large, 60000, TARROCK_ZERO_INIT), large);
    for (std::size_t i = 20480 - 64; i < 60000; ++i) ASSERT_EQ(large[i], 0) << i;
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

}  // namespace
}  // namespace allocator_test
