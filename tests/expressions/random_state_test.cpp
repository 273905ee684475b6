// The request's random sequence.
#include <gtest/gtest.h>

#include "engine/expressions/random_state.h"

namespace {

TEST(RandomState, StepsTheSeededValue) {
    CRandomState state;
    state.value = 12345;
    state.seeded = 1;
    const std::uint32_t expected = (12345u * 1103515245u + 12345u) % 32767u;
    EXPECT_EQ(NextRandom(state), static_cast<int>(expected));
    EXPECT_EQ(state.value, expected);
    const std::uint32_t next = (expected * 1103515245u + 12345u) % 32767u;
    EXPECT_EQ(NextRandom(state), static_cast<int>(next));
}

TEST(RandomState, SeedsOnFirstUseAndStaysInRange) {
    CRandomState state;
    for (int i = 0; i < 1000; ++i) {
        const int v = NextRandom(state);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 32767);
    }
    EXPECT_EQ(state.seeded, 1);
}

}  // namespace
