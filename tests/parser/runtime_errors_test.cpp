#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_lifo.h"
#include "engine/parser/ss_ref.h"

namespace {

// Raises are recorded without throwing while one of these lives.
struct NoThrow {
    NoThrow() { SSOptions().throwOnError = 0; }
    ~NoThrow() { SSOptions().throwOnError = 1; }
};

SSException caught(SSErrorSlot& slot, auto raise) {
    try {
        raise(slot);
    } catch (const SSException& e) {
        return e;
    }
    ADD_FAILURE() << "nothing thrown";
    return SSException();
}

TEST(SSExceptionTest, MessagesExpandTheirArgumentsInOrder) {
    struct Case {
        std::function<void(SSErrorSlot&)> raise;
        std::uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {[](SSErrorSlot& s) { s.raise(1, "a.tsm", 2L); }, 1, "SSLex0101e: Error opening file, a.tsm, 2"},
        {[](SSErrorSlot& s) { s.raiseLineOffsetText(5, 3, 7, "<TSX"); }, 5,
         "SSLex0105e: Invalid token, Line 3, Offset 7, <TSX"},
        {[](SSErrorSlot& s) { s.raise(6, 26L); }, 6, "SSLex0106e: Invalid expression list index, 26"},
        {[](SSErrorSlot& s) { s.raise(16); }, 16, "SSYacc0105e: Error token failed, no valid token"},
        {[](SSErrorSlot& s) { s.raise(18, 0x4005L); }, 18, "SSYacc0107e: Invalid goto on 16389"},
        {[](SSErrorSlot& s) { s.raise(28); }, 28, "SSRef0001e: Reference count less than zero"},
        {[](SSErrorSlot& s) { s.raise(36, "IDR_LEX_X"); }, 36, "SSLex0108e: Resource not found, IDR_LEX_X"},
        {[](SSErrorSlot& s) { s.raise(37, "IDR_YACC_X"); }, 37, "SSYacc0114e: Resource not found, IDR_YACC_X"},
        {[](SSErrorSlot& s) { s.raise(0xFFFFFFFF); }, 0xFFFFFFFF, "SSException0001e: Out of storage"},
        // A '%' inside an argument is text, not a format.
        {[](SSErrorSlot& s) { s.raise(4, "%s%ld"); }, 4, "SSLex0104e: Invalid table, %s%ld"},
    };
    for (const Case& c : cases) {
        SSErrorSlot slot;
        SSException e = caught(slot, c.raise);
        EXPECT_EQ(e.code, c.code);
        EXPECT_STREQ(e.text, c.text);
        ASSERT_TRUE(slot.pending());
        EXPECT_STREQ(slot.get()->text, c.text);
    }
}

TEST(SSExceptionTest, LongTextIsCutTo127Bytes) {
    std::string name(200, 'n');
    SSErrorSlot slot;
    SSException e = caught(slot, [&](SSErrorSlot& s) { s.raise(1, name.c_str(), 2L); });
    EXPECT_EQ(std::strlen(e.text), 127u);
    EXPECT_EQ(std::string(e.text), ("SSLex0101e: Error opening file, " + name).substr(0, 127));
}

TEST(SSExceptionTest, ThrownCopyHasFreshParametersAndRecordKeepsThem) {
    SSErrorSlot slot;
    SSException e = caught(slot, [](SSErrorSlot& s) { s.raise(1, "file", 13L); });
    for (int i = 0; i < SSException::kParameterCount; ++i) {
        EXPECT_EQ(e.parameterType(i), SSException::kLong);
        EXPECT_EQ(e.parameterLong(i), 0);
    }
    const SSException* recorded = slot.get();
    ASSERT_NE(recorded, nullptr);
    EXPECT_EQ(recorded->parameterType(0), SSException::kString);
    EXPECT_STREQ(recorded->parameterString(0), "file");
    EXPECT_EQ(recorded->parameterLong(1), 13);
}

TEST(SSExceptionTest, TakeOverMovesThePendingError) {
    NoThrow quiet;
    SSErrorSlot inner;
    SSErrorSlot outer;
    EXPECT_FALSE(outer.takeOver(inner));
    inner.raise(9);
    EXPECT_TRUE(outer.takeOver(inner));
    EXPECT_FALSE(inner.pending());
    ASSERT_TRUE(outer.pending());
    EXPECT_EQ(outer.get()->code, 9u);
}

TEST(SSExceptionTest, SuppressThrowRecordsOnly) {
    SSOptions().suppressThrow = 1;
    SSErrorSlot slot;
    EXPECT_NO_THROW(slot.raise(13));
    SSOptions().suppressThrow = 0;
    ASSERT_TRUE(slot.pending());
    EXPECT_EQ(slot.get()->code, 13u);
}

class Counted : public SSRef {
public:
    explicit Counted(int* destroyed) : destroyed_(destroyed) {}
    ~Counted() override { ++*destroyed_; }

private:
    int* destroyed_;
};

TEST(SSRefTest, ReleaseAtZeroThrowsCode28AndKeepsZero) {
    int destroyed = 0;
    Counted* object = new Counted(&destroyed);
    EXPECT_EQ(object->refCount(), 0u);
    try {
        object->release(0);
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 28u);
    }
    EXPECT_EQ(object->refCount(), 0u);
    EXPECT_EQ(destroyed, 0);
    delete object;
}

TEST(SSRefTest, LastHolderDestroysTheObject) {
    int destroyed = 0;
    {
        SSRefPtr<Counted> first(new Counted(&destroyed));
        SSRefPtr<Counted> second = first;
        EXPECT_EQ(first->refCount(), 2u);
        first.reset();
        EXPECT_EQ(destroyed, 0);
        EXPECT_EQ(second->refCount(), 1u);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(SSLifoTest, FullStackWithoutIncrementRaisesCode8AndStaysUnchanged) {
    SSLifo<int> stack(2, 0);
    ASSERT_TRUE(stack.push(1));
    ASSERT_TRUE(stack.push(2));
    try {
        stack.push(3);
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 8u);
        EXPECT_STREQ(e.text, "SSLifo0001e: Stack full");
    }
    EXPECT_EQ(stack.count(), 2u);
    EXPECT_EQ(*stack.top(), 2);
    EXPECT_EQ(*stack.at(1), 1);
}

TEST(SSLifoTest, GrowsByItsIncrementKeepingOrder) {
    SSLifo<std::uintptr_t> stack(32, 32);
    for (std::uintptr_t i = 0; i < 33; ++i) ASSERT_TRUE(stack.push(i * 0x100000000ULL + i));
    EXPECT_EQ(stack.capacity(), 64u);
    for (std::uint32_t i = 0; i < 33; ++i) {
        EXPECT_EQ(*stack.at(i), (32 - i) * 0x100000000ULL + (32 - i));  // pointer-sized entries
    }
}

TEST(SSLifoTest, EmptyAndOutOfRangeOperationsRaise) {
    NoThrow quiet;
    SSLifo<int> stack(4, 4);
    struct Case {
        std::function<bool(SSLifo<int>&)> operation;
        std::uint32_t code;
    };
    const Case cases[] = {
        {[](SSLifo<int>& s) { return s.top() != nullptr; }, 9},
        {[](SSLifo<int>& s) { return s.pop(); }, 10},
        {[](SSLifo<int>& s) {
             s.push(5);
             return s.at(1) != nullptr;
         },
         11},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.operation(stack));
        ASSERT_TRUE(stack.pendingError().pending());
        EXPECT_EQ(stack.pendingError().get()->code, c.code);
        stack.pendingError().clear();
    }
    SSLifo<int> other(4, 4);
    other.push(7);
    EXPECT_EQ(other.at(3), nullptr);
    EXPECT_EQ(other.pendingError().get()->parameterLong(0), 3);
}

}  // namespace
