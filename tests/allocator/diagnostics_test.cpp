// Pointer checks, pool enumeration, heap check and walk, attach and detach.
#include <cstdlib>
#include <set>

#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

TEST_F(PoolTest, CheckPointerTellsLiveFreeAndForeign) {
    void* small = TarrockAlloc(pool_, 20, 0);
    void* variable = TarrockAlloc(pool_, 500, 0);
    void* keep = TarrockAlloc(pool_, 500, 0);
    void* large = TarrockAlloc(pool_, 9000, 0);
    for (void* p : {small, variable, large}) EXPECT_EQ(TarrockCheckPointer(pool_, p), 1);
    EXPECT_EQ(TarrockCheckPointer(nullptr, small), 1);
    EXPECT_EQ(TarrockCheckPointer(pool_, static_cast<char*>(variable) + 16), 0);
    TarrockFree(small);
    TarrockFree(variable);
    EXPECT_EQ(TarrockCheckPointer(pool_, small), -1);
    EXPECT_EQ(TarrockCheckPointer(pool_, variable), -1);
    TarrockPool other = TarrockCreatePool(0, 0, 0);
    EXPECT_EQ(TarrockCheckPointer(other, keep), 0);  // not that pool's
    TarrockFreePool(other);
    int local;
    Reports::Clear();
    EXPECT_EQ(TarrockCheckPointer(pool_, &local), 0);
    EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
    TarrockFree(large);
    EXPECT_EQ(TarrockCheckPointer(pool_, large), 0);  // its region is gone
}

TEST_F(PoolTest, PoolsAreEnumeratedNewestFirst) {
    TarrockPool second = TarrockCreatePool(48, 0, 0);
    TarrockPoolInfoRecord info{};
    ASSERT_EQ(TarrockFirstPool(&info), 1);
    EXPECT_EQ(info.pool, second);
    EXPECT_EQ(info.fixedSize, 48u);
    EXPECT_EQ(info.pageSize, 16384u);
    EXPECT_EQ(info.ceiling, TARROCK_NO_CEILING);
    EXPECT_NE(info.library, nullptr);
    ASSERT_EQ(TarrockNextPool(&info), 1);
    EXPECT_EQ(info.pool, pool_);
    EXPECT_EQ(info.flags, TARROCK_SERIALIZED);
    void* p = TarrockAlloc(second, 100, 0);
    TarrockPoolInfoRecord byPointer{};
    ASSERT_EQ(TarrockPoolInfo(nullptr, p, &byPointer), 1);
    EXPECT_EQ(byPointer.pool, second);
    TarrockFreePool(second);
    ASSERT_EQ(TarrockFirstPool(&info), 1);
    EXPECT_EQ(info.pool, pool_);
}

TEST(TarrockHeap, CheckAndWalkOfTheDefaultPool) {
    // In a fresh process of this program (which keeps the C library's malloc) there is
    // no default pool until something asks for it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TarrockHeapEntry empty{};
            bool none = TarrockHeapCheck() == TARROCK_HEAP_EMPTY && TarrockHeapWalk(&empty) == TARROCK_HEAP_EMPTY;
            std::_Exit(none ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    TarrockHeapEntry entry{};

    TarrockPool pool = TarrockDefaultPool();
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(TarrockDefaultPool(), pool);
    // The default pool is the process's: blocks other tests of this program left there
    // are walked as well.
    std::set<void*> live;
    for (entry = {}; TarrockHeapWalk(&entry) == TARROCK_HEAP_OK;)
        if (entry.inUse) live.insert(entry.pointer);
    for (std::size_t n : {8, 100, 300, 3000, 5000}) live.insert(TarrockAlloc(pool, n, 0));
    void* freed = TarrockAlloc(pool, 8, 0);
    TarrockFree(freed);
    EXPECT_EQ(TarrockHeapCheck(), TARROCK_HEAP_OK);
    EXPECT_EQ(TarrockHeapSet(0xAA), TARROCK_HEAP_OK);
    EXPECT_EQ(TarrockHeapAdd(nullptr, 0), -1);

    std::set<void*> seenLive;
    bool sawFreed = false;
    int result;
    entry = {};
    while ((result = TarrockHeapWalk(&entry)) == TARROCK_HEAP_OK) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(entry.pointer) % 16, 0u);
        if (entry.inUse) seenLive.insert(entry.pointer);
        if (entry.pointer == freed) sawFreed = !entry.inUse;
    }
    EXPECT_EQ(result, TARROCK_HEAP_END);
    EXPECT_EQ(seenLive, live);
    EXPECT_TRUE(sawFreed);

    int local;
    entry.pointer = &local;
    EXPECT_EQ(TarrockHeapWalk(&entry), TARROCK_HEAP_BAD_POINTER);
    EXPECT_EQ(TarrockHeapWalk(nullptr), TARROCK_HEAP_BAD_POINTER);
    EXPECT_EQ(TarrockHeapMin(), 0);
}

TEST(TarrockLifecycle, DetachNeverTakesTheDefaultPoolAway) {
    TarrockErrorHandler previous = TarrockSetErrorHandler(nullptr);
    TarrockPool pool = TarrockDefaultPool();
    void* before = TarrockAlloc(pool, 100, 0);
    TarrockPool privatePool = TarrockCreatePool(0, 0, 0);
    // The first attach finds pools already there and counts twice, so the engine's one
    // detach leaves everything in place.
    EXPECT_EQ(TarrockAttach(), 1);
    EXPECT_EQ(TarrockDetach(), 1);
    EXPECT_EQ(TarrockCheckPointer(pool, before), 1);
    EXPECT_NE(TarrockAlloc(privatePool, 100, 0), nullptr);
    // The last detach takes the other pools, never the default one.
    EXPECT_EQ(TarrockDetach(), 1);
    TarrockPoolInfoRecord info{};
    ASSERT_EQ(TarrockFirstPool(&info), 1);
    EXPECT_EQ(info.pool, pool);
    EXPECT_EQ(TarrockNextPool(&info), 0);
    // Detach with no attach left takes the other pools again, never the default one.
    TarrockPool late = TarrockCreatePool(0, 0, 0);
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(TarrockDetach(), 1);
    ASSERT_EQ(TarrockFirstPool(&info), 1);
    EXPECT_EQ(info.pool, pool);
    EXPECT_EQ(TarrockNextPool(&info), 0);
    EXPECT_EQ(TarrockCheckPointer(pool, before), 1);
    void* after = TarrockAlloc(pool, 100, 0);
    EXPECT_NE(after, nullptr);
    EXPECT_EQ(TarrockCheckPool(pool), 1);
    TarrockSetErrorHandler(previous);
}

}  // namespace
}  // namespace allocator_test
