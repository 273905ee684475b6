#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/cstring.h"

namespace {

// Strings built once and then copied and released by many request threads at once,
// as constants are: the counts must stay exact and the shared empty representation
// must never be freed.
TEST(CStringThreads, SharedRepresentationsAcrossThreads) {
    const RWCString constant("shared constant text");
    const RWCString empty;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&constant, &empty, t] {
            for (int i = 0; i < 20000; ++i) {
                RWCString a(constant);
                RWCString b;
                b = a;
                RWCString c(empty);
                RWCString d;
                d = "";
                if (i % 100 == 0) {
                    b.append(static_cast<char>('a' + t));  // copy on write from a shared rep
                    if (b.length() != constant.length() + 1) std::abort();
                }
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_TRUE(constant == "shared constant text");
    EXPECT_EQ(constant.length(), 20u);
    RWCString after;
    EXPECT_TRUE(after.sharesEmptyRep());
    EXPECT_EQ(after.length(), 0u);
}

}  // namespace
