// What a message quotes of a text it did not write: a short text whole, a long one by its
// start, never with a character cut in two, marked; and a message's values go through it.
#include <gtest/gtest.h>

#include <string>

#include "support/quoted_excerpt.h"
#include "support/web_message.h"

namespace {

TEST(QuotedExcerpt, LongTextsAreCutAtACharacterAndMarked) {
    const std::string e = "\xC3\xA9";          // two bytes
    const std::string euro = "\xE2\x82\xAC";   // three
    const std::string clef = "\xF0\x9D\x84\x9E";  // four
    struct Case {
        std::string text;
        std::size_t limit;
        std::string quoted;
    } const cases[] = {
        {"", 5, ""},
        {"abcde", 5, "abcde"},
        {"abcdef", 5, "abcde..."},
        {"abcd" + e, 5, "abcd..."},
        {"abc" + e + "x", 5, "abc" + e + "..."},
        {"ab" + euro + "x", 4, "ab..."},
        {"a" + clef + "x", 4, "a..."},
        {"a" + clef + "x", 5, "a" + clef + "..."},
        // No UTF-8 at the bound (a run of continuation bytes): cut at the bound itself.
        {"a\x80\x80\x80\x80\x80", 5, "a\x80\x80\x80\x80..."},
    };
    for (const Case& c : cases) EXPECT_EQ(QuotedExcerpt(c.text, c.limit), c.quoted) << c.text;
}

TEST(QuotedExcerpt, AMessageQuotesALongValueByItsStartBeforeEscapingIt) {
    const std::string value = std::string(kMaxQuotedBytes - 1, 'a') + "<b>" + std::string(100000, 'z');
    const std::string html = (CWebMessage("[") + value + "]").Html();
    // Cut inside the markup of the value, before it is escaped: no reference is cut.
    EXPECT_EQ(html, "[" + std::string(kMaxQuotedBytes - 1, 'a') + "&lt;...]");
    const std::string shortValue(kMaxQuotedBytes, 'q');
    EXPECT_EQ(CWebMessage::Value(shortValue).Html(), shortValue);
}

}  // namespace
