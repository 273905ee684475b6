// Variable pages: coalescing through the boundary tags, the rover, in-place resizing.
#include <cstring>

#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

TEST_F(PoolTest, FreedNeighboursCoalesceIntoOneBlock) {
    // Fill one page with 1000-byte blocks (sixteen fit in 16 KB), keep one, free the rest.
    std::vector<void*> blocks;
    for (int i = 0; i < 16; ++i) blocks.push_back(TarrockAlloc(pool_, 1000, 0));
    for (void* p : blocks) ASSERT_EQ(PageOf(p), PageOf(blocks[0]));
    std::size_t onePage = TarrockPoolSize(pool_);
    // Free in an order that exercises merging backwards, forwards and both ways.
    for (int i : {3, 1, 2, 5, 7, 6, 4, 9, 8, 11, 10, 13, 12, 15, 14}) TarrockFree(blocks[i]);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
    // Only a merged run can hold this; no new page is needed.
    void* big = TarrockAlloc(pool_, 4000, 0);
    EXPECT_EQ(PageOf(big), PageOf(blocks[0]));
    EXPECT_EQ(TarrockPoolSize(pool_), onePage);
    TarrockFree(big);
    TarrockFree(blocks[0]);
    EXPECT_EQ(TarrockPoolSize(pool_), onePage - 16384);  // the page went back
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

TEST_F(PoolTest, SearchResumesAtTheRover) {
    // Blocks are split from the end of the free block: x1 is highest, x2 below it.
    char* x1 = static_cast<char*>(TarrockAlloc(pool_, 300, 0));
    char* x2 = static_cast<char*>(TarrockAlloc(pool_, 300, 0));
    EXPECT_EQ(x1 - x2, 304);
    TarrockFree(x1);
    // The search starts after the block last used, so it meets the freed x1 before the
    // large free block at the start of the page.
    EXPECT_EQ(TarrockAlloc(pool_, 300, 0), x1);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

TEST_F(PoolTest, ResizeStaysInPlaceWhereItCanAndMovesWithTheContentsOtherwise) {
    // Small: in place within the class (class 1 holds up to 15 bytes).
    char* s = static_cast<char*>(TarrockAlloc(pool_, 10, 0));
    std::memcpy(s, "0123456789abcde", 15);
    EXPECT_EQ(TarrockRealloc(s, 15, 0), s);
    char* moved = static_cast<char*>(TarrockRealloc(s, 16, 0));
    ASSERT_NE(moved, s);
    EXPECT_EQ(std::memcmp(moved, "0123456789abcde", 15), 0);
    EXPECT_EQ(TarrockCheckPointer(pool_, s), -1);

    // Variable: grows into the free block after it, shrinks by giving the tail back.
    char* a = static_cast<char*>(TarrockAlloc(pool_, 600, 0));
    char* b = static_cast<char*>(TarrockAlloc(pool_, 600, 0));  // lies below a
    std::memset(b, 'b', 600);
    TarrockFree(a);
    EXPECT_EQ(TarrockRealloc(b, 1200, 0), b);
    EXPECT_GE(TarrockSizeOf(b), 1200);
    EXPECT_EQ(TarrockRealloc(b, 300, 0), b);
    EXPECT_EQ(TarrockSizeOf(b), 300);
    EXPECT_EQ(b[299], 'b');
    EXPECT_EQ(TarrockCheckPool(pool_), 1);

    // In place only: a block that would have to move is refused with code 5.
    Reports::Clear();
    EXPECT_EQ(TarrockRealloc(b, 1000, TARROCK_RESIZE_IN_PLACE), b);  // the tail it gave back
    EXPECT_EQ(TarrockRealloc(b, 3000, TARROCK_RESIZE_IN_PLACE), nullptr);
    EXPECT_EQ(Reports::lastCode, MEM_RESIZE_FAILED);
    EXPECT_EQ(b[299], 'b');
    char* c = static_cast<char*>(TarrockAlloc(pool_, 100, 0));
    EXPECT_EQ(TarrockRealloc(c, 200, TARROCK_RESIZE_IN_PLACE), nullptr);
    EXPECT_EQ(Reports::lastCode, MEM_RESIZE_FAILED);
    EXPECT_EQ(TarrockCheckPointer(pool_, c), 1);

    // Large: in place within its region, moved to a variable block when small enough.
    char* l = static_cast<char*>(TarrockAlloc(pool_, 20000, 0));
    std::memset(l, 'l', 20000);
    EXPECT_EQ(TarrockRealloc(l, 60000, 0), l);
    EXPECT_EQ(l[19999], 'l');
    std::size_t grown = TarrockPoolSize(pool_);
    EXPECT_EQ(TarrockRealloc(l, 30000, 0), l);
    EXPECT_EQ(TarrockPoolSize(pool_), grown - 28672);
    char* back = static_cast<char*>(TarrockRealloc(l, 1000, 0));
    EXPECT_NE(back, l);
    EXPECT_EQ(back[999], 'l');
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

TEST_F(PoolTest, PageSizeAboveThirtyTwoKilobytesKeepsItsHeadersIntact) {
    EXPECT_EQ(TarrockSetPageSize(pool_, 65535), 16384u);
    std::vector<void*> blocks;
    for (int i = 0; i < 40; ++i) blocks.push_back(TarrockAlloc(pool_, 16383, 0));  // the new threshold
    for (void* p : blocks) EXPECT_EQ(TarrockSizeOf(p), 16396);
    for (std::size_t i = 0; i < blocks.size(); i += 2) TarrockFree(blocks[i]);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

}  // namespace
}  // namespace allocator_test
