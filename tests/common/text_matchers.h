// Checks on texts: pages, logs, generated files. In an assertion use the matchers, which print
// the whole text and what was looked for when they fail:
//     EXPECT_THAT(page.body, HasSubstr("<P>"));
//     EXPECT_THAT(page.body, Not(HasSubstr("<script")));
//     EXPECT_THAT(page.body, AllOf(HasSubstr("<TR>"), HasSubstr("</TR>")));
// The plain functions below are for where a value is needed instead: a loop condition, a
// predicate, a count compared with EXPECT_EQ.
#pragma once

#include <gmock/gmock.h>

#include <cstddef>
#include <string_view>

namespace tessaro::test {

inline bool ContainsText(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// How often part occurs in text, overlapping occurrences included.
inline std::size_t CountOf(std::string_view text, std::string_view part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace tessaro::test
