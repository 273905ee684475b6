#include "foundation/bitvec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/cstring.h"
#include "foundation/rwexcept.h"

namespace {

TEST(BitVec, EmptyVector) {
    RWBitVec a, b(0);
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(a.sum(), 0u);
    EXPECT_TRUE(a == b);
}

TEST(BitVec, UnusedBitsAreIgnored) {
    const RWByte x[] = {0xA5, 0x03};
    const RWByte y[] = {0xA5, 0xFF};
    RWBitVec a(x, 10), b(y, 10);
    EXPECT_TRUE(a == b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_EQ(a.sum(), b.sum());
    EXPECT_TRUE(RWBitVec(y, 10).isEqual(false) == false);
    RWBitVec c(x, 16), d(y, 16);
    EXPECT_FALSE(c == d);
}

TEST(BitVec, NotResizeSum) {
    RWBitVec z(10);
    EXPECT_EQ((!z).sum(), 10u);
    RWBitVec ones(10, true);
    EXPECT_TRUE(ones.isEqual(true));
    ones.resize(20);
    EXPECT_EQ(ones.sum(), 10u);
    for (std::size_t i = 10; i < 20; ++i) EXPECT_FALSE(ones.testBit(i)) << i;
    ones.resize(3);
    EXPECT_EQ(ones.sum(), 3u);
}

TEST(BitVec, OperatorsAtWordBoundaries) {
    for (std::size_t n : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 64u, 65u}) {
        RWBitVec a(n), b(n);
        for (std::size_t i = 0; i < n; i += 2) a.setBit(i);
        for (std::size_t i = 0; i < n; i += 3) b.setBit(i);
        std::size_t both = 0, either = 0, one = 0;
        for (std::size_t i = 0; i < n; ++i) {
            bool x = i % 2 == 0, y = i % 3 == 0;
            both += x && y;
            either += x || y;
            one += x != y;
        }
        EXPECT_EQ((a & b).sum(), both) << n;
        EXPECT_EQ((a | b).sum(), either) << n;
        EXPECT_EQ((a ^ b).sum(), one) << n;
        EXPECT_EQ((!a).sum(), n - a.sum()) << n;
        EXPECT_TRUE(a[n - 1] == ((n - 1) % 2 == 0));
    }
}

TEST(BitVec, UnequalLengths) {
    RWBitVec v8(8), v16(16);
    try {
        (void)(v8 & v16);
        FAIL();
    } catch (const RWInternalErr& e) {
        EXPECT_STREQ(e.why(), "[NEVECL] Unequal vector lengths: 8 versus 16");
    }
    EXPECT_THROW(v8 |= v16, RWInternalErr);
    EXPECT_THROW(v16 ^= v8, RWInternalErr);
    EXPECT_THROW(v16 &= v8, RWInternalErr);
}

TEST(BitVec, IndexCheck) {
    RWBitVec v(5);
    try {
        (void)v[5];
        FAIL();
    } catch (const RWBoundsErr& e) {
        EXPECT_STREQ(e.why(), "[INDEXERR] Illegal Index (5) for collection or string with 5 elements");
    }
}

TEST(BitVec, CopyAndAssign) {
    RWBitVec a(12);
    a.setBit(11);
    RWBitVec b(a);
    b.clearBit(11);
    EXPECT_TRUE(a.testBit(11));
    b = a;
    EXPECT_TRUE(b == a);
    b = true;
    EXPECT_EQ(b.sum(), 12u);
    b = b;
    EXPECT_EQ(b.sum(), 12u);
}

TEST(ToolMisc, FirstSetAndUnset) {
    const RWByte bytes[] = {0x00, 0x10};
    EXPECT_EQ(rwFirstTrue(bytes, 16), 12u);
    EXPECT_EQ(rwFirstTrue(bytes, 12), RW_NPOS);
    const RWByte full[] = {0xFF, 0xEF};
    EXPECT_EQ(rwFirstFalse(full, 16), 12u);
    EXPECT_EQ(rwFirstFalse(full, 12), RW_NPOS);
    EXPECT_EQ(rwFirstTrue(bytes, 0), RW_NPOS);
}

TEST(ToolMisc, ByteOperations) {
    RWByte d[] = {0xF0, 0x0F, 0xFF};
    const RWByte s[] = {0x3C, 0x3C, 0x00};
    rwAnd(d, s, 3);
    EXPECT_EQ(std::memcmp(d, "\x30\x0C\x00", 3), 0);
    rwOr(d, s, 2);
    EXPECT_EQ(std::memcmp(d, "\x3C\x3C\x00", 3), 0);
    rwXor(d, s, 3);
    EXPECT_EQ(std::memcmp(d, "\x00\x00\x00", 3), 0);
}

int compareInts(const void* element, const void* key) {
    int a = *static_cast<const int*>(element), b = *static_cast<const int*>(key);
    return a < b ? -1 : (a > b ? 1 : 0);
}

TEST(ToolMisc, BinarySearch) {
    const int values[] = {1, 3, 5, 7, 9, 11, 13};
    for (int i = 0; i < 7; ++i) {
        std::size_t idx = 99;
        EXPECT_TRUE(rwBsearch(&values[i], values, 7, sizeof(int), compareInts, idx)) << values[i];
        EXPECT_EQ(idx, static_cast<std::size_t>(i));
    }
    for (int missing : {0, 4, 14}) {
        std::size_t idx = 99;
        EXPECT_FALSE(rwBsearch(&missing, values, 7, sizeof(int), compareInts, idx)) << missing;
        EXPECT_LT(idx, 7u);
    }
    std::size_t idx = 99;
    EXPECT_FALSE(rwBsearch(&values[0], values, 0, sizeof(int), compareInts, idx));
    EXPECT_EQ(idx, 0u);
}

TEST(ToolMisc, GrowthRuleVersionMasks) {
    EXPECT_EQ(rwNewCapacity(0, 1), 16u);
    EXPECT_EQ(rwNewCapacity(15, 1), 16u);
    EXPECT_EQ(rwNewCapacity(16, 1), 32u);
    EXPECT_EQ(rwNewCapacity(0x80000000u, 1), 0xBFFFFFFFu);
    try {
        rwNewCapacity(0xFFFFFFFFu, 1);
        FAIL();
    } catch (const RWBoundsErr& e) {
        EXPECT_STREQ(e.why(),
                     "[OVFLOW] Overflow error -> \"Buffer may not resize larger than\" <- (4294967295 max characters)");
    }
    EXPECT_EQ(rwLibraryVersion(), 1793u);
    const RWMaskTable& t = rwMaskTable();
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(t.rows[i][j], j < i ? 0xFF : 0x00);
}

}  // namespace
