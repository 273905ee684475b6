// The list functions through the evaluator, their errors with code and exact text, and
// the list and token functions on many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
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

class ListFunctionValues : public ::testing::TestWithParam<TextCase> {};

TEST_P(ListFunctionValues, Evaluate) {
    FakeRuntime runtime;
    runtime.variables = {{"utf", "x,\xC3\xA9t\xC3\xA9"}};
    EXPECT_EQ(Eval(GetParam().expression, &runtime), GetParam().expected) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ListFunctionValues,
    ::testing::Values(
        TextCase{"ListLen('')", "0"}, TextCase{"ListLen(',')", "0"}, TextCase{"ListLen(',,,')", "0"},
        TextCase{"ListLen(',a,,b,')", "2"}, TextCase{"ListLen('a;b,c',';,')", "3"}, TextCase{"ListLen('a b')", "1"},
        TextCase{"ListLen('abc','')", "1"}, TextCase{"ListFirst('')", ""}, TextCase{"ListFirst(',,a,b')", "a"},
        TextCase{"ListLast('')", ""}, TextCase{"ListLast('a,b,,')", "b"}, TextCase{"ListRest(',a,,b,')", "b,"},
        TextCase{"ListRest('a')", ""}, TextCase{"ListGetAt(',,a',1)", "a"}, TextCase{"ListGetAt('a,,b;c',2,',;')", "b"},
        TextCase{"ListSetAt('a,,b',1,'x')", "x,b"}, TextCase{"ListSetAt('a,,b',2,'x')", "a,,x"},
        TextCase{"ListSetAt('a;b',1,'x',';,')", "x;b"}, TextCase{"ListSetAt('a;b',1,'x',',;')", "x,b"},
        TextCase{"ListSetAt('a,b,,',2,'x')", "a,x"}, TextCase{"ListDeleteAt('a,b,c',2)", "a,c"},
        TextCase{"ListDeleteAt('a,b,c',3)", "a,b"}, TextCase{"ListDeleteAt(',a',1)", ""},
        TextCase{"ListDeleteAt('a,,b,,',2)", "a"}, TextCase{"ListInsertAt('a,b',2,'x')", "a,x,b"},
        TextCase{"ListInsertAt('a,b',1,'x')", "x,a,b"}, TextCase{"ListInsertAt('a,b',9,'')", "a,b"},
        TextCase{"ListAppend('','x')", "x"}, TextCase{"ListAppend(',,','x')", "x"},
        TextCase{"ListAppend('a','')", "a,"}, TextCase{"ListAppend('a','b',';,')", "a;b"},
        TextCase{"ListPrepend(',a','x')", "x,,a"}, TextCase{"ListPrepend(',,','x')", "x"},
        TextCase{"ListFind('a,B','b')", "0"}, TextCase{"ListFind('a,b','b')", "2"},
        TextCase{"ListFindNoCase('a,B','b')", "2"}, TextCase{"ListFind('a,b','a,b')", "0"},
        TextCase{"ListFindNoCase('aXb','B','X')", "2"}, TextCase{"ListFindNoCase(utf,'\xC3\x89T\xC3\x89')", "2"},
        TextCase{"ListContains('abc,def','e')", "2"}, TextCase{"ListContains('abc,def','')", "0"},
        TextCase{"ListContains('abc,def','E')", "0"}, TextCase{"ListContainsNoCase('abc,def','E')", "2"},
        TextCase{"ListContainsNoCase('abc,def','')", "0"},
        // The new delimiter stands only between elements.
        TextCase{"ListChangeDelims('a,b',';')", "a;b"}, TextCase{"ListChangeDelims(',a,,b,',' - ')", "a - b"},
        TextCase{"ListChangeDelims('a,b','')", "ab"}, TextCase{"ListChangeDelims('a;b,c','|',';')", "a|b,c"},
        TextCase{"ListChangeDelims(',,','|')", ""},
        // An empty delimiter set: the whole text is one element and edits insert nothing.
        TextCase{"ListAppend('a','b','')", "ab"}, TextCase{"ListPrepend('a','b','')", "ba"},
        TextCase{"ListSetAt('abc',1,'x','')", "x"}, TextCase{"ListInsertAt('abc',1,'x','')", "xabc"},
        TextCase{"ListGetAt('a,b',1,'')", "a,b"}));

class ListFunctionErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ListFunctionErrors, CodeAndExactText) {
    const ErrorCase& c = GetParam();
    const auto f = CallFailure(c.function, c.args);
    ASSERT_TRUE(f.thrown) << c.function;
    EXPECT_EQ(f.code, c.code) << c.function;
    EXPECT_EQ(f.text, c.text) << c.function;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ListFunctionErrors,
    ::testing::Values(
        ErrorCase{"ListRest", {""}, 0x4013, "Invalid position in list"},
        ErrorCase{"ListRest", {",,"}, 0x4013, "Invalid position in list"},
        ErrorCase{"ListGetAt", {"a,b", "3"}, 0x4013, "Invalid position in list"},
        ErrorCase{"ListSetAt", {"a,b", "3", "x"}, 0x4013, "Invalid position in list"},
        ErrorCase{"ListDeleteAt", {"", "1"}, 0x4013, "Invalid position in list"},
        ErrorCase{"ListInsertAt", {"a,b", "3", "x"}, 0x4013, "Invalid position in list"},
        ErrorCase{"ListGetAt",
                  {"a,b", "0"},
                  0x400A,
                  "Parameter 2 of function ListGetAt which is now \"0\" must be a positive integer"},
        ErrorCase{"ListLen",
                  {"a", ",", "x"},
                  0x4009,
                  "The function ListLen takes at most 2 arguments; You have called it with 3 arguments"},
        ErrorCase{"ListGetAt",
                  {"a", "1", ",", "x"},
                  0x4009,
                  "The function ListGetAt takes at most 3 arguments; You have called it with 4 arguments"},
        ErrorCase{"ListSetAt",
                  {"a", "1", "x", ",", "y"},
                  0x4009,
                  "The function ListSetAt takes at most 4 arguments; You have called it with 5 arguments"},
        ErrorCase{"ListAppend", {"a"}, 0x4009, "The function ListAppend takes at least 2 arguments(s)"}));

TEST(ListFunctions, ChangedDelimitersStopAtTheResultLimit) {
    exprtest::FakeRuntime runtime;
    runtime.m_maxResultBytes = 10;
    EXPECT_EQ(CallText("ListChangeDelims", {"a,b,c", "---"}, &runtime), "a---b---c");
    const auto f = CallFailure("ListChangeDelims", {"a,b,c", "----"}, &runtime);
    EXPECT_EQ(f.code, 0x400Au);
    EXPECT_EQ(f.text,
              "The result of the function ListChangeDelims(List, NewDelimiter, Delimiters) would be longer than the "
              "limit of 10 bytes set by the server (MaxFunctionResultBytes)");
}

// Every thread scans its own lists at the same time; a shared scan position would mix
// their elements.
TEST(ListFunctions, ListAndTokenFunctionsOnManyThreads) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 300;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &wrong] {
            const std::string mark = std::string(1, static_cast<char>('a' + t));
            std::string list;
            for (int i = 1; i <= 50; ++i) list += mark + std::to_string(i) + (t % 2 ? ";," : ",");
            for (int round = 0; round < kRounds; ++round) {
                const int at = 1 + (round + t) % 50;
                const std::string expected = mark + std::to_string(at);
                if (CallText("ListGetAt", {list, std::to_string(at), ",;"}) != expected) ++wrong;
                if (CallText("GetToken", {list, std::to_string(at), ",;"}) != expected) ++wrong;
                if (CallText("ListLen", {list, ";,"}) != "50") ++wrong;
                if (CallText("ListFindNoCase", {list, expected, ";,"}) != std::to_string(at)) ++wrong;
                if (exprtest::Eval("GetToken('" + mark + "1 " + mark + "2 " + mark + "3', 2)") != mark + "2") ++wrong;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
