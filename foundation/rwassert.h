#pragma once

// Always-on precondition checks for the foundation classes. A broken invariant or a
// null text pointer is a programming error: report the condition, file and line, then
// abort, in release builds too (plain assert() vanishes under NDEBUG).

namespace rw_detail {
[[noreturn]] void assertionFailed(const char* condition, const char* file, int line);
}

#define RW_ASSERT(cond) \
    ((cond) ? static_cast<void>(0) : ::rw_detail::assertionFailed("(" #cond ") != 0", __FILE__, __LINE__))

// Same check, reported with a fixed text instead of the condition.
#define RW_ASSERT_MSG(cond, text) \
    ((cond) ? static_cast<void>(0) : ::rw_detail::assertionFailed(text, __FILE__, __LINE__))
