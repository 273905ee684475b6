// What a message (an error page, a log line) quotes of a text it did not write: an expression,
// a value of the request, a name a form chose. Such a text may hold megabytes; the message
// quotes its start, cut at a character and marked, so that a page or a log line stays of a
// reasonable size whatever the request held.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The most a message quotes of one text, in bytes (the mark not counted).
inline constexpr std::size_t kMaxQuotedBytes = 2000;
// The most a log line quotes of a whole message, in bytes.
inline constexpr std::size_t kMaxLoggedBytes = 10000;
// What follows a text that was cut.
inline constexpr std::string_view kQuoteCutMark = "...";

// text as it is when it has at most limit bytes; otherwise as much of its start as fits in
// limit without cutting a UTF-8 character in two, followed by kQuoteCutMark.
std::string QuotedExcerpt(std::string_view text, std::size_t limit = kMaxQuotedBytes);
