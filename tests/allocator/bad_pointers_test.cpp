// Pointers the allocator did not hand out, double frees and pointers into the middle
// of a block are reported and change nothing.
#include <cstring>

#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

int g_static;

TEST_F(PoolTest, ForeignPointersAreReportedWithoutBeingRead) {
    int local = 0;
    void* heap = ::operator new(64);  // the test program's own heap
    for (void* foreign : {static_cast<void*>(&local), static_cast<void*>(&g_static), heap,
                          reinterpret_cast<void*>(0x10), reinterpret_cast<void*>(0x7ff000000000)}) {
        Reports::Clear();
        EXPECT_EQ(TarrockFree(foreign), 0);
        EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
        EXPECT_EQ(TarrockSizeOf(foreign), -1);
        EXPECT_EQ(TarrockRealloc(foreign, 10, 0), nullptr);
        EXPECT_EQ(TarrockCheckPointer(nullptr, foreign), 0);
    }
    ::operator delete(heap);
}

// Pointers into every regime: a second free and interior pointers are refused.
TEST_F(PoolTest, DoubleFreeAndInteriorPointersAreRefused) {
    for (std::size_t n : {10, 100, 254, 255, 1000, 4096, 4097, 70000}) {
        char* keep = static_cast<char*>(TarrockAlloc(pool_, n, 0));  // keeps the page alive
        char* p = static_cast<char*>(TarrockAlloc(pool_, n, 0));
        std::memset(p, 0x5A, n);
        std::size_t before = TarrockPoolSize(pool_);
        Reports::Clear();
        for (std::size_t offset : {std::size_t(16), std::size_t(1), n > 64 ? std::size_t(64) : std::size_t(3)}) {
            EXPECT_EQ(TarrockFree(p + offset), 0) << n << "+" << offset;
            EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
        }
        EXPECT_EQ(TarrockPoolSize(pool_), before);
        EXPECT_EQ(TarrockCheckPool(pool_), 1) << n;
        EXPECT_EQ(TarrockFree(p), 1);
        Reports::Clear();
        EXPECT_EQ(TarrockFree(p), 0) << n;  // the second free
        EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
        EXPECT_EQ(TarrockCheckPool(pool_), 1) << n;
        // Two later allocations never share memory.
        char* a = static_cast<char*>(TarrockAlloc(pool_, n, 0));
        char* b = static_cast<char*>(TarrockAlloc(pool_, n, 0));
        EXPECT_NE(a, b);
        TarrockFree(a);
        TarrockFree(b);
        TarrockFree(keep);
    }
}

// A variable block merged with free neighbours on both sides leaves no header behind
// that a second free could take for a live block.
TEST_F(PoolTest, SecondFreeAfterMergingWithBothNeighboursIsRefused) {
    for (std::size_t n : {300, 1000, 3000}) {
        // A fresh page hands out blocks from its top down: above, p and below are neighbours.
        TarrockPool pool = TarrockCreatePool(0, 0, TARROCK_SERIALIZED);
        char* above = static_cast<char*>(TarrockAlloc(pool, n, 0));
        char* p = static_cast<char*>(TarrockAlloc(pool, n, 0));
        char* below = static_cast<char*>(TarrockAlloc(pool, n, 0));
        char* keep = static_cast<char*>(TarrockAlloc(pool, n, 0));  // keeps the page alive
        ASSERT_EQ(PageOf(above), PageOf(keep));
        ASSERT_LT(p, above);
        ASSERT_LT(below, p);
        EXPECT_EQ(TarrockFree(above), 1);
        EXPECT_EQ(TarrockFree(below), 1);
        EXPECT_EQ(TarrockFree(p), 1);
        Reports::Clear();
        EXPECT_EQ(TarrockFree(p), 0) << n;
        EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
        EXPECT_EQ(TarrockSizeOf(p), -1);
        EXPECT_EQ(TarrockCheckPool(pool), 1) << n;
        EXPECT_EQ(TarrockFree(keep), 1);
        TarrockFreePool(pool);
    }
}

TEST_F(PoolTest, PoolCheckFindsOverwrittenHeadersAndLists) {
    char* v = static_cast<char*>(TarrockAlloc(pool_, 1000, 0));
    char* keep = static_cast<char*>(TarrockAlloc(pool_, 1000, 0));
    ASSERT_EQ(TarrockCheckPool(pool_), 1);
    std::uint32_t saved;
    std::memcpy(&saved, v - 4, 4);
    std::memset(v - 4, 0x41, 4);  // an overrun from the block below
    EXPECT_EQ(TarrockCheckPool(pool_), 0);
    EXPECT_EQ(Reports::lastCode, MEM_BAD_BLOCK);
    EXPECT_EQ(TarrockFree(v), 0);  // refused rather than trusted
    std::memcpy(v - 4, &saved, 4);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);

    char* s1 = static_cast<char*>(TarrockAlloc(pool_, 40, 0));
    char* s2 = static_cast<char*>(TarrockAlloc(pool_, 40, 0));
    TarrockFree(s1);
    TarrockFree(s2);
    char* savedLink;
    std::memcpy(&savedLink, s2, sizeof savedLink);
    std::memcpy(s2, &s2, sizeof s2);  // the list now loops on itself
    Reports::Clear();
    EXPECT_EQ(TarrockCheckPool(pool_), 0);
    EXPECT_EQ(Reports::lastCode, MEM_BAD_FREE_BLOCK);
    std::memcpy(s2, &savedLink, sizeof savedLink);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    TarrockFree(keep);
    TarrockFree(v);
}

}  // namespace
}  // namespace allocator_test
