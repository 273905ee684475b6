// The C library's semantics on the default pool (what malloc and operator new forward to).
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "foundation/allocator/heap.h"
#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

using namespace tessaro::allocator;

// Reports go to the recording handler, not to standard error.
class TarrockHeapLayer : public PoolTest {};

TEST_F(TarrockHeapLayer, ZeroSizedRequestsGiveDistinctBlocks) {
    void* a = HeapMalloc(0);
    void* b = HeapMalloc(0);
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a, b);
    void* c = HeapNew(0, false);
    EXPECT_NE(c, nullptr);
    EXPECT_EQ(HeapUsableSize(a), 15u);
    HeapFree(a);
    HeapFree(b);
    HeapFree(c);
    HeapFree(nullptr);
}

TEST_F(TarrockHeapLayer, SizesThatWouldWrapFailWithEnomem) {
    struct Case {
        std::size_t count, size;
    };
    for (Case c : {Case{SIZE_MAX, 2}, Case{SIZE_MAX / 2 + 1, 2}, Case{1u << 31, 1u << 31}, Case{1, SIZE_MAX},
                   Case{1, SIZE_MAX - 15}}) {
        errno = 0;
        EXPECT_EQ(HeapCalloc(c.count, c.size), nullptr);
        EXPECT_EQ(errno, ENOMEM);
    }
    for (std::size_t n : {SIZE_MAX, SIZE_MAX - 28, std::size_t(PTRDIFF_MAX)}) {
        errno = 0;
        EXPECT_EQ(HeapMalloc(n), nullptr);
        EXPECT_EQ(errno, ENOMEM);
        void* p = HeapMalloc(10);
        errno = 0;
        EXPECT_EQ(HeapRealloc(p, n), nullptr);
        EXPECT_EQ(errno, ENOMEM);
        EXPECT_EQ(HeapUsableSize(p), 15u);  // the block is unchanged
        EXPECT_EQ(HeapReallocArray(p, n, 2), nullptr);
        HeapFree(p);
        EXPECT_EQ(HeapNew(n, true), nullptr);
        EXPECT_THROW(HeapNew(n, false), std::bad_alloc);
        EXPECT_THROW(HeapNew(n, false), CTarrockMemoryException);
        EXPECT_EQ(HeapPvalloc(n), nullptr);
    }
}

TEST_F(TarrockHeapLayer, CallocZeroesAndFreeKeepsErrno) {
    for (std::size_t n : {1, 200, 3000, 50000}) {
        auto* p = static_cast<unsigned char*>(HeapMalloc(n));
        std::memset(p, 0xEE, n);
        HeapFree(p);
        auto* z = static_cast<unsigned char*>(HeapCalloc(n, 1));
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(z[i], 0);
        errno = EILSEQ;
        HeapFree(z);
        EXPECT_EQ(errno, EILSEQ);
    }
    errno = EILSEQ;
    int local;
    TarrockErrorHandler previous = TarrockSetErrorHandler(nullptr);
    HeapFree(&local);  // foreign: reported, nothing else
    TarrockSetErrorHandler(previous);
    EXPECT_EQ(errno, EILSEQ);
}

TEST_F(TarrockHeapLayer, ReallocFollowsTheCLibraryRules) {
    char* p = static_cast<char*>(HeapRealloc(nullptr, 10));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abcdefghij", 10);
    char* q = static_cast<char*>(HeapRealloc(p, 5000));
    EXPECT_EQ(std::memcmp(q, "abcdefghij", 10), 0);
    EXPECT_EQ(HeapRealloc(q, 0), nullptr);  // frees
    EXPECT_EQ(TarrockCheckPointer(nullptr, q), 0);
}

TEST_F(TarrockHeapLayer, AlignedRequestsHonourTheirAlignment) {
    for (std::size_t alignment : {1, 2, 8, 16, 32, 64, 256, 4096, 32768}) {
        for (std::size_t n : {1, 100, 5000}) {
            void* p = nullptr;
            ASSERT_EQ(HeapPosixMemalign(&p, std::max<std::size_t>(alignment, sizeof(void*)), n), 0);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % std::max<std::size_t>(alignment, 16), 0u);
            EXPECT_GE(HeapUsableSize(p), n);
            std::memset(p, 1, n);
            HeapFree(p);
            void* q = HeapAlignedAlloc(alignment, n);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(q) % alignment, 0u);
            HeapFree(q);
            void* r = HeapNewAligned(n, alignment, false);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(r) % alignment, 0u);
            HeapFree(r);
        }
    }
    void* p = nullptr;
    EXPECT_EQ(HeapPosixMemalign(&p, 24, 10), EINVAL);
    EXPECT_EQ(HeapPosixMemalign(&p, 4, 10), EINVAL);
    EXPECT_EQ(HeapPosixMemalign(&p, 65536, 10), ENOMEM);  // beyond the documented limit
    errno = 0;
    EXPECT_EQ(HeapAlignedAlloc(48, 10), nullptr);
    EXPECT_EQ(errno, EINVAL);
    void* m = HeapMemalign(48, 10);  // rounded up to 64
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(m) % 64, 0u);
    HeapFree(m);
    void* v = HeapValloc(10);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(v) % 4096, 0u);
    HeapFree(v);
    void* pv = HeapPvalloc(5000);
    EXPECT_EQ(HeapUsableSize(pv), 8192u);
    HeapFree(pv);
}

TEST_F(TarrockHeapLayer, MsizeAndExpand) {
    void* p = HeapMalloc(10);
    EXPECT_EQ(HeapMsize(p), 12u);
    EXPECT_EQ(HeapExpand(p, 14), p);
    TarrockErrorHandler previous = TarrockSetErrorHandler(nullptr);
    EXPECT_EQ(HeapExpand(p, 100), nullptr);  // would have to move
    int local;
    EXPECT_EQ(HeapMsize(&local), ~std::size_t(3));
    TarrockSetErrorHandler(previous);
    EXPECT_EQ(TarrockCheckPointer(nullptr, p), 1);
    HeapFree(p);
}

TEST_F(TarrockHeapLayer, NewHandlersAreAskedBeforeGivingUp) {
    static int asked;
    asked = 0;
    std::set_new_handler([] {
        ++asked;
        std::set_new_handler(nullptr);
    });
    EXPECT_THROW(HeapNew(SIZE_MAX / 2, false), std::bad_alloc);
    EXPECT_EQ(asked, 1);
    asked = 0;
    TarrockSetNewHandler([](std::size_t) -> int { return ++asked < 3; });
    EXPECT_EQ(HeapNew(SIZE_MAX / 2, true), nullptr);
    EXPECT_EQ(asked, 3);
    // malloc asks it only in new mode.
    asked = 0;
    EXPECT_EQ(HeapMalloc(SIZE_MAX / 2), nullptr);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(TarrockSetNewMode(1), 0);
    EXPECT_EQ(HeapMalloc(SIZE_MAX / 2), nullptr);
    EXPECT_EQ(asked, 3);
    TarrockSetNewMode(0);
    TarrockSetNewHandler(nullptr);
}

TEST_F(TarrockHeapLayer, TheThrowingNewHandlerEndsTheAllocationAtOnce) {
    EXPECT_EQ(TarrockSetNewHandler(TarrockThrowingNewHandler), nullptr);
    EXPECT_THROW(HeapNew(SIZE_MAX / 2, false), CTarrockMemoryException);
    EXPECT_THROW(TarrockThrowingNewHandler(16), std::bad_alloc);
    EXPECT_EQ(TarrockSetNewHandler(nullptr), &TarrockThrowingNewHandler);
}

TEST_F(TarrockHeapLayer, TheSecondMallocPairIsTheFirst) {
    void* p = TarrockMalloc(10);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(TarrockCheckPointer(nullptr, p), 1);
    EXPECT_EQ(HeapMsize(p), 12u);
    TarrockMallocFree(p);
    void* q = HeapMalloc(10);
    TarrockMallocFree(q);
    TarrockMallocFree(nullptr);
    EXPECT_EQ(TarrockMalloc(SIZE_MAX / 2), nullptr);
}

}  // namespace
}  // namespace allocator_test
