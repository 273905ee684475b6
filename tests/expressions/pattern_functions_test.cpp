// The pattern, character-set and token functions through the evaluator, and their errors
// with code and exact text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/expressions/function_result_limit.h"
#include "tests/expressions/function_test_support.h"

namespace {

using exprtest::CallFailure;
using exprtest::CallText;
using exprtest::ErrorCase;
using exprtest::Eval;
using exprtest::FakeRuntime;
using exprtest::TextCase;

class PatternFunctionValues : public ::testing::TestWithParam<TextCase> {};

TEST_P(PatternFunctionValues, Evaluate) {
    FakeRuntime runtime;
    runtime.variables = {{"tabbed", "a\tb\nc d"}};
    EXPECT_EQ(Eval(GetParam().expression, &runtime), GetParam().expected) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PatternFunctionValues,
    ::testing::Values(
        TextCase{"SpanIncluding('aabbc','ab')", "aabb"}, TextCase{"SpanIncluding('xab','ab')", ""},
        TextCase{"SpanIncluding('abc','')", ""}, TextCase{"SpanExcluding('hello world',' ')", "hello"},
        TextCase{"SpanExcluding('abc','')", "abc"},
        // Replace takes its pattern literally, whatever the characters.
        TextCase{"Replace('a.b.c','.','-')", "a-b.c"}, TextCase{"Replace('a.b.c','.','-','ALL')", "a-b-c"},
        TextCase{"Replace('a.b.c','.','-','all')", "a-b-c"}, TextCase{"Replace('a.b.c','.','-','All')", "a-b-c"},
        TextCase{"Replace('a.b.c','.','-','one')", "a-b.c"}, TextCase{"Replace('a+b','+','x','all')", "axb"},
        TextCase{"Replace('a(b)[c]{d}|e^$\\','(b)[c]{d}|e^$\\','-')", "a-"},
        TextCase{"Replace('aaa','a','aa','ALL')", "aaaaaa"}, TextCase{"Replace('abc','x','y','ALL')", "abc"},
        TextCase{"Replace('abc','b','')", "ac"}, TextCase{"Replace('abcabc','abc','x','ALL')", "xx"},
        TextCase{"Replace('Abc','a','x','ALL')", "Abc"},
        // RECURSIVE resumes one character before the end of each match in the changed text.
        TextCase{"Replace('aaaa','aa','a','RECURSIVE')", "aa"}, TextCase{"Replace('abab','ab','x','RECURSIVE')", "xx"},
        TextCase{"Replace('a.b.c','.','.','RECURSIVE')", "a.b.c"}, TextCase{"REReplace('aaaa','a+','b')", "b"},
        TextCase{"REReplace('abc','a|ab','X')", "Xc"}, TextCase{"REReplace('a1b22c','[0-9]+','-','ALL')", "a-b-c"},
        TextCase{"REReplace('abc','x*','-')", "-abc"}, TextCase{"REReplace('xaaay','aa','a','RECURSIVE')", "xaay"},
        TextCase{"REFind('b','abcb')", "2"}, TextCase{"REFind('b','abcb',3)", "4"},
        TextCase{"REFind('b','abcb',5)", "0"}, TextCase{"REFind('x','abc')", "0"},
        TextCase{"REFind('[0-9]+','ab12')", "3"}, TextCase{"ReplaceList('one two three','one,three','1,3')", "1 two 3"},
        TextCase{"ReplaceList('a.b','.','X')", "aXb"}, TextCase{"ReplaceList('abc','a,b,c','x')", "x"},
        TextCase{"ReplaceList('abc',',,b','B')", "aBc"}, TextCase{"ReplaceList('abc','a,b','b,c')", "ccc"},
        TextCase{"ReplaceList('abc','','x')", "abc"}, TextCase{"ReplaceList('a*b','*','+,-')", "a+b"},
        TextCase{"GetToken('a b  c',3)", "c"}, TextCase{"GetToken('a,,b',2,',')", "b"},
        TextCase{"GetToken('a b',3)", ""}, TextCase{"GetToken('',1)", ""}, TextCase{"GetToken(',a,',1,',')", "a"},
        TextCase{"GetToken(tabbed,3)", "c"}, TextCase{"GetToken('a;b,c',3,';,')", "c"},
        TextCase{"GetToken('abc',1,'')", "abc"}));

class PatternFunctionErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PatternFunctionErrors, CodeAndExactText) {
    const ErrorCase& c = GetParam();
    const auto f = CallFailure(c.function, c.args);
    ASSERT_TRUE(f.thrown) << c.function;
    EXPECT_EQ(f.code, c.code) << c.function;
    EXPECT_EQ(f.text, c.text) << c.function;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PatternFunctionErrors,
    ::testing::Values(
        ErrorCase{"Replace",
                  {"abc", "b", "x", "TWO"},
                  0x400A,
                  "The fourth parameter (Scope) of the function Replace(InString, WhatString, WithString, Scope), "
                  "which is now equal to \"TWO\", must be one of \"ONE\", \"ALL\", or \"RECURSIVE\""},
        ErrorCase{"REReplace",
                  {"abc", "b", "x", ""},
                  0x400A,
                  "The fourth parameter (Scope) of the function REReplace(InString, WhatString, WithString, Scope), "
                  "which is now equal to \"\", must be one of \"ONE\", \"ALL\", or \"RECURSIVE\""},
        ErrorCase{"Replace",
                  {"a", "b", "c", "ONE", "x"},
                  0x4009,
                  "The function Replace takes at most 4 arguments; You have called it with 5 arguments"},
        ErrorCase{"REReplace",
                  {"a", "b", "c", "ONE", "x"},
                  0x4009,
                  "The function REReplace takes at most 4 arguments; You have called it with 5 arguments"},
        ErrorCase{"REFind",
                  {"a", "b", "1", "x"},
                  0x4009,
                  "The function REFind takes at most 3 arguments; You have called it with 4 arguments"},
        ErrorCase{"GetToken",
                  {"a", "1", " ", "x"},
                  0x4009,
                  "The function GetToken takes at most 3 arguments; You have called it with 4 arguments"},
        ErrorCase{"GetToken",
                  {"a b", "0"},
                  0x400A,
                  "Parameter 2 of function GetToken which is now \"0\" must be a positive integer"},
        ErrorCase{"Replace", {"abc", "", "x"}, 0x4019, "The Replace function has received bad arguments"},
        ErrorCase{"Replace", {"abc", "", "x", "RECURSIVE"}, 0x4019, "The Replace function has received bad arguments"},
        // A replacement that contains its own match cannot settle: stopped, not grown forever.
        ErrorCase{
            "Replace", {"aaa", "a", "aa", "RECURSIVE"}, 0x4019, "The Replace function has received bad arguments"},
        ErrorCase{"REReplace",
                  {"aaa", "a", "aa", "RECURSIVE"},
                  0x4019,
                  "The regular expression a keeps matching the text that replaces it"},
        ErrorCase{"REReplace",
                  {"a+b", "+", "x"},
                  0x4019,
                  "In the regular expression + one of ?, *, or + is not preceded by a valid regular expression"},
        ErrorCase{"REFind",
                  {"(a", "abc"},
                  0x4019,
                  // The text quotes the pattern, which may be the request's: shown as text.
                  "The regular expression (a contains an unmatched parenthesis: &#39;(&#39; or &#39;)&#39;"}));

TEST(PatternFunctions, ResultsPastTheLimitFailInsteadOfGrowing) {
    exprtest::FakeRuntime runtime;
    runtime.m_maxResultBytes = 20;
    const std::string tooLong =
        "The result of the function Replace(InString, WhatString, WithString, Scope) would be longer than the limit "
        "of 20 bytes set by the server (MaxFunctionResultBytes)";
    EXPECT_EQ(CallText("Replace", {"aaaaa", "a", "aaaa", "ALL"}, &runtime), "aaaaaaaaaaaaaaaaaaaa");
    auto f = CallFailure("Replace", {"aaaaaa", "a", "aaaa", "ALL"}, &runtime);
    EXPECT_EQ(f.code, 0x400Au);
    EXPECT_EQ(f.text, tooLong);
    EXPECT_EQ(CallFailure("Replace", {"abc", "b", std::string(30, 'x')}, &runtime).text, tooLong);
    EXPECT_EQ(CallFailure("Replace", {"ab", "b", std::string(30, 'x'), "RECURSIVE"}, &runtime).text, tooLong);
    f = CallFailure("REReplace", {"aaaaaa", "a", "aaaa", "ALL"}, &runtime);
    EXPECT_EQ(f.code, 0x400Au);
    EXPECT_EQ(f.text.rfind("The result of the function REReplace(InString, WhatString, WithString, Scope) would", 0),
              0u);
    EXPECT_EQ(CallFailure("REReplace", {"ab", "b", std::string(30, 'x')}, &runtime).code, 0x400Au);
    f = CallFailure("ReplaceList", {"aaaaaa", "a", "aaaa"}, &runtime);
    EXPECT_EQ(f.code, 0x400Au);
    EXPECT_EQ(f.text.rfind("The result of the function ReplaceList(String, List1, List2) would", 0), 0u);
}

// A literal RECURSIVE searches plain text, as ONE and ALL do; it gives what the
// regular-expression code gives for the escaped pattern, match for match, also where a
// replacement keeps making new matches.
TEST(PatternFunctions, LiteralRecursiveAgreesWithTheEscapedPattern) {
    const std::string letters = "ab.";
    auto words = [&](std::size_t most) {
        std::vector<std::string> all{""};
        for (std::size_t begin = 0, length = 0; length < most; ++length) {
            const std::size_t end = all.size();
            for (std::size_t i = begin; i < end; ++i)
                for (char c : letters) all.push_back(all[i] + c);
            begin = end;
        }
        return all;
    };
    // The text of the call, or "<fails>".
    auto run = [](const char* function, const std::vector<std::string>& arguments) {
        std::string text;
        return exprtest::Catch([&] { text = CallText(function, arguments); }).thrown ? std::string("<fails>") : text;
    };
    const std::vector<std::string> texts = words(5), patterns = words(2), replacements = words(2);
    for (const std::string& what : patterns) {
        if (what.empty()) continue;
        std::string escaped;
        for (char c : what) escaped += c == '.' ? std::string("\\.") : std::string(1, c);
        for (const std::string& with : replacements)
            for (const std::string& text : texts)
                ASSERT_EQ(run("Replace", {text, what, with, "RECURSIVE"}),
                          run("REReplace", {text, escaped, with, "RECURSIVE"}))
                    << text << " / " << what << " / " << with;
    }
}

// A search text of any length is a literal text: no scope and no list refuses a long one
// (the regular-expression code takes at most 255 tokens, which says nothing about it).
TEST(PatternFunctions, LongSearchTextsAreReplacedInEveryScope) {
    const std::string what(300, '.');
    const std::string text = "<" + what + ">" + what;
    EXPECT_EQ(CallText("Replace", {text, what, "x"}), "<x>" + what);
    EXPECT_EQ(CallText("Replace", {text, what, "x", "ALL"}), "<x>x");
    // RECURSIVE resumes 299 characters into the changed text, past the second occurrence.
    EXPECT_EQ(CallText("Replace", {text, what, "x", "RECURSIVE"}), "<x>" + what);
    EXPECT_EQ(CallText("Replace", {what + what, what, "", "RECURSIVE"}), what);
    EXPECT_EQ(CallText("ReplaceList", {text, what + ",<", "x,("}), "(x>x");
    EXPECT_EQ(CallText("Replace", {"ab" + what + what, what + what, what, "RECURSIVE"}), "ab" + what);
}

TEST(PatternFunctions, ScopeErrorReachesTheAuthor) {
    const auto f = exprtest::EvalFailure("Replace('abc','b','x','TWO')");
    EXPECT_EQ(f.text,
              "The fourth parameter (Scope) of the function Replace(InString, WhatString, WithString, Scope), which is "
              "now equal to \"TWO\", must be one of \"ONE\", \"ALL\", or \"RECURSIVE\"");
}

}  // namespace
