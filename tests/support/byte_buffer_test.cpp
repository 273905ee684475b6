#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "support/byte_buffer.h"

TEST(ByteBufferTest, GrowsOnceByTheStepRule) {
    CByteBuffer buffer(10);
    EXPECT_EQ(buffer.GetGrowthStep(), 20u);
    std::string data(25, 'a');
    EXPECT_TRUE(buffer.Append(data.data(), data.size()));
    EXPECT_EQ(buffer.GetCapacity(), 51u);
    EXPECT_EQ(buffer.GetGrowthStep(), 40u);
    EXPECT_EQ(buffer.GetLength(), 25u);
    EXPECT_EQ(std::string(buffer.GetData()), data);
}

TEST(ByteBufferTest, KeepsRoomForTheTerminatingNul) {
    CByteBuffer buffer(10);
    buffer.Append("123456789", 9);  // used + n == capacity - 1: no growth
    EXPECT_EQ(buffer.GetCapacity(), 10u);
    buffer.Append("0", 1);
    EXPECT_EQ(buffer.GetCapacity(), 10u + 21u);
    EXPECT_STREQ(buffer.GetData(), "1234567890");
}

TEST(ByteBufferTest, BinaryDataAndManySmallAppends) {
    CByteBuffer buffer(1);
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        char bytes[3] = {static_cast<char>(i), '\0', 'x'};
        buffer.Append(bytes, 3);
        expected.append(bytes, 3);
    }
    buffer.AppendString("end");
    buffer.AppendString(static_cast<const char*>(nullptr));
    expected += "end";
    ASSERT_EQ(buffer.GetLength(), expected.size());
    EXPECT_EQ(std::memcmp(buffer.GetData(), expected.data(), expected.size()), 0);
    EXPECT_EQ(buffer.GetData()[expected.size()], '\0');
}

TEST(ByteBufferTest, ZeroCapacityStillTerminates) {
    CByteBuffer buffer(0);
    EXPECT_STREQ(buffer.GetData(), "");
    buffer.Append("", 0);
    EXPECT_EQ(buffer.GetLength(), 0u);
}

TEST(ByteBufferTest, AnImpossibleLengthIsRefusedWithoutTouchingTheContent) {
    CByteBuffer buffer(16);
    buffer.Append("abc", 3);
    // used + n wraps around for this length; it must still count as too large.
    const char source[4] = "xyz";
    EXPECT_THROW(buffer.Append(source, SIZE_MAX - 1), std::bad_alloc);
    EXPECT_EQ(buffer.GetLength(), 3u);
    EXPECT_STREQ(buffer.GetData(), "abc");
}
