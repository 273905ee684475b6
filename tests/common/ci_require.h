// Tests that need a program, a driver or a server which may be missing on a developer's machine.
// There they skip with the reason; under CI=true the same gap fails the test, so that a build
// can never go green without having run them.
#pragma once

#include <gtest/gtest.h>

namespace tessaro::test {

// True when the environment says the tests run in continuous integration (CI=true or CI=1).
bool RunningInCI();

}  // namespace tessaro::test

// Use in a test body or a fixture's SetUp: REQUIRE_OR_SKIP(pg.Available(), "PostgreSQL: " << why);
#define REQUIRE_OR_SKIP(available, reason)                           \
    do {                                                             \
        if (!(available)) {                                          \
            if (::tessaro::test::RunningInCI())                      \
                GTEST_FAIL() << "required when CI=true: " << reason; \
            else                                                     \
                GTEST_SKIP() << reason;                              \
        }                                                            \
    } while (false)
