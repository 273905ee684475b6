// The string functions through the evaluator, and their errors with code and exact text.
#include <gtest/gtest.h>

#include "engine/expressions/function_result_limit.h"
#include "tests/expressions/function_test_support.h"

namespace {

using exprtest::CallFailure;
using exprtest::ErrorCase;
using exprtest::Eval;
using exprtest::FakeRuntime;
using exprtest::TextCase;

FakeRuntime& Runtime() {
    static FakeRuntime runtime = [] {
        FakeRuntime r;
        r.variables = {{"ws", "\t a b\r\n"},
                       {"e233", "\xE9t\xE9"},
                       {"utf", "\xC3\xA9t\xC3\xA9"},
                       {"UTFUP", "\xC3\x89T\xC3\x89"},
                       {"ydia", "\xC3\xBF\xC5\xA1"},
                       {"latin", "\xFF\x9A\xD7\xF7"},
                       {"hex", "0x1A"}};
        return r;
    }();
    return runtime;
}

class StringFunctionValues : public ::testing::TestWithParam<TextCase> {};

TEST_P(StringFunctionValues, Evaluate) {
    EXPECT_EQ(Eval(GetParam().expression, &Runtime()), GetParam().expected) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StringFunctionValues,
    ::testing::Values(
        // Comparison: unsigned bytes; the case-blind form folds onto lower case.
        TextCase{"Compare('abc','abd')", "-1"}, TextCase{"Compare('abc','ab')", "1"}, TextCase{"Compare('a','B')", "1"},
        TextCase{"Compare('abc','abc')", "0"}, TextCase{"Compare(e233,'z')", "1"},
        TextCase{"CompareNoCase('ABC','abc')", "0"}, TextCase{"CompareNoCase('_','a')", "-1"},
        TextCase{"CompareNoCase(utf, UTFUP)", "0"}, TextCase{"CompareNoCase('b','A')", "1"},
        // Searching.
        TextCase{"Find('a','banana')", "2"}, TextCase{"Find('a','banana',3)", "4"},
        TextCase{"Find('a','banana',6)", "6"}, TextCase{"Find('a','banana',7)", "0"}, TextCase{"Find('','abc')", "1"},
        TextCase{"Find('','abc',2)", "2"}, TextCase{"Find('x','')", "0"}, TextCase{"Find('A','banana')", "0"},
        TextCase{"FindNoCase('B','abc')", "2"}, TextCase{"FindNoCase('NA','banana',4)", "5"},
        TextCase{"FindNoCase(UTFUP,utf)", "1"}, TextCase{"FindOneOf('xyc','abcx')", "3"},
        TextCase{"FindOneOf('','abc')", "0"}, TextCase{"FindOneOf('ab','abab',3)", "3"},
        // Trimming and case.
        TextCase{"Trim(ws)", "a b"}, TextCase{"LTrim('  x ')", "x "}, TextCase{"RTrim('  x ')", "  x"},
        TextCase{"Trim('   ')", ""}, TextCase{"UCase('abc_z')", "ABC_Z"}, TextCase{"LCase('ABC_Z')", "abc_z"},
        TextCase{"UCase(e233)", "\xC9T\xC9"}, TextCase{"LCase(UTFUP)", "\xC3\xA9t\xC3\xA9"},
        TextCase{"UCase(utf)", "\xC3\x89T\xC3\x89"}, TextCase{"UCase(ydia)", "\xC5\xB8\xC5\xA0"},
        TextCase{"UCase(latin)", "\x9F\x8A\xD7\xF7"}, TextCase{"LCase('')", ""},
        // Measuring and cutting.
        TextCase{"Len(12)", "2"}, TextCase{"Len('')", "0"}, TextCase{"Len(utf)", "5"}, TextCase{"Left('abc',5)", "abc"},
        TextCase{"Left('abc',2)", "ab"}, TextCase{"Right('abc',5)", "abc"}, TextCase{"Right('abcdef',2)", "ef"},
        TextCase{"Mid('abcdef',2,3)", "bcd"}, TextCase{"Mid('abc',2,10)", "bc"}, TextCase{"Mid('abc',5,2)", ""},
        TextCase{"Mid('abc',1,0)", ""}, TextCase{"Mid('abc',2,2147483647)", "bc"},
        TextCase{"Mid('abc',2147483647,2147483647)", ""},
        // Building and padding.
        TextCase{"RepeatString('ab',3)", "ababab"}, TextCase{"RepeatString('ab',0)", ""},
        TextCase{"RepeatString('',2147483647)", ""}, TextCase{"Insert('X','abc',0)", "Xabc"},
        TextCase{"Insert('X','abc',3)", "abcX"}, TextCase{"Insert('XY','abc',1)", "aXYbc"},
        TextCase{"RemoveChars('abcdef',2,3)", "aef"}, TextCase{"RemoveChars('abcdef',5,10)", "abcd"},
        TextCase{"RemoveChars('abc',3,0)", "abc"}, TextCase{"RemoveChars('abc',2,2147483647)", "a"},
        TextCase{"RemoveChars('abc',3,1)", "ab"}, TextCase{"LJustify('ab',5)", "ab   "},
        TextCase{"RJustify('ab',5)", "   ab"}, TextCase{"CJustify('ab',5)", " ab  "},
        TextCase{"CJustify('ab',6)", "  ab  "}, TextCase{"LJustify('abcdef',3)", "abcdef"},
        TextCase{"RJustify('abcdef',3)", "abcdef"}, TextCase{"CJustify('abcdef',3)", "abcdef"},
        TextCase{"Reverse('abc')", "cba"}, TextCase{"Reverse('')", ""},
        // Numbers and character codes.
        TextCase{"Val('  12.5abc')", "12.5"}, TextCase{"Val('-3e2')", "-300"}, TextCase{"Val('abc')", "0"},
        TextCase{"Val('')", "0"}, TextCase{"Val(hex)", "0"}, TextCase{"Val('1e')", "1"}, TextCase{"Val('.5.5')", "0.5"},
        TextCase{"Val('inf')", "0"}, TextCase{"Val('nan')", "0"}, TextCase{"Val('1e-400')", "0"},
        TextCase{"Val('-0.0001e-320x')", "0"}, TextCase{"Val('1.7e308')", "1.7E+308"}, TextCase{"Val('0.00e999')", "0"},
        TextCase{"Val('+7,5')", "7"}, TextCase{"Chr(65)", "A"}, TextCase{"Chr(321)", "A"}, TextCase{"Chr(0)", ""},
        TextCase{"Chr(256)", ""}, TextCase{"Asc('A')", "65"}, TextCase{"Asc('')", "0"}, TextCase{"Asc(e233)", "-23"},
        TextCase{"Len(Trim('  ab '))", "2"}));

class StringFunctionErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(StringFunctionErrors, CodeAndExactText) {
    const ErrorCase& c = GetParam();
    const auto f = CallFailure(c.function, c.args);
    ASSERT_TRUE(f.thrown) << c.function;
    EXPECT_EQ(f.code, c.code) << c.function;
    EXPECT_EQ(f.text, c.text) << c.function;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StringFunctionErrors,
    ::testing::Values(
        ErrorCase{"Find",
                  {"a", "b", "1", "2"},
                  0x4009,
                  "The function Find takes at most 3 arguments; You have called it with 4 arguments"},
        ErrorCase{"FindOneOf",
                  {"a", "b", "1", "2", "3"},
                  0x4009,
                  "The function FindOneOf takes at most 3 arguments; You have called it with 5 arguments"},
        ErrorCase{"Find", {"a"}, 0x4009, "The function Find takes at least 2 arguments(s)"},
        ErrorCase{"Len", {"a", "b"}, 0x4009, "The function Len takes  1 arguments(s)"},
        ErrorCase{"Find",
                  {"a", "banana", "0"},
                  0x400A,
                  "Parameter 3 of function Find which is now \"0\" must be a positive integer"},
        ErrorCase{"Left", {"abc", "x"}, 0x400A, "Parameter 2 of function Left which is now \"x\" must be an integer"},
        ErrorCase{"Mid",
                  {"abc", "1", "-1"},
                  0x400A,
                  "Parameter 3 of function Mid which is now \"-1\" must be a non-negative integer"},
        ErrorCase{"Insert",
                  {"X", "abc", "4"},
                  0x400A,
                  "The third parameter (AtPosition) of the function Insert(SubString, InString, AtPosition), which "
                  "is now equal to 4, must be less than or equal to the length of the second parameter (InString), "
                  "which is now equal to abc and has length of 3"},
        ErrorCase{"RemoveChars",
                  {"abc", "4", "1"},
                  0x400A,
                  "The second parameter (StartPos) of the function RemoveChars(String, StartPos, Count), which is "
                  "now equal to 4, must be less than or equal to the length of the first parameter (String), which "
                  "is now equal to abc and has length of 3"},
        ErrorCase{"RemoveChars",
                  {"", "1", "1"},
                  0x400A,
                  "The second parameter (StartPos) of the function RemoveChars(String, StartPos, Count), which is "
                  "now equal to 1, must be less than or equal to the length of the first parameter (String), which "
                  "is now equal to  and has length of 0"},
        // Past the largest real, whatever the form of the digits; the text is the argument's.
        ErrorCase{"Val", {"1e999"}, 0x400A, "The function Val has no finite result for the argument \"1e999\""},
        ErrorCase{
            "Val", {" -1e400 kg"}, 0x400A, "The function Val has no finite result for the argument \" -1e400 kg\""},
        ErrorCase{
            "Val", {"0.0018e311"}, 0x400A, "The function Val has no finite result for the argument \"0.0018e311\""},
        ErrorCase{"Val",
                  {"1000000e99999999999999999999"},
                  0x400A,
                  "The function Val has no finite result for the argument \"1000000e99999999999999999999\""},
        ErrorCase{"RepeatString",
                  {"x", "2147483647"},
                  0x400A,
                  "The result of the function RepeatString(String, Count) would be longer than the limit of "
                  "16777216 bytes set by the server (MaxFunctionResultBytes)"},
        ErrorCase{"LJustify",
                  {"x", "2147483647"},
                  0x400A,
                  "The result of the function LJustify(String, Length) would be longer than the limit of 16777216 "
                  "bytes set by the server (MaxFunctionResultBytes)"},
        ErrorCase{"CJustify",
                  {"x", "16777217"},
                  0x400A,
                  "The result of the function CJustify(String, Length) would be longer than the limit of 16777216 "
                  "bytes set by the server (MaxFunctionResultBytes)"}));

TEST(StringFunctions, ErrorsReachTheAuthorWithTheSameText) {
    const auto f = exprtest::EvalFailure("Find('a','b',1,2)");
    EXPECT_EQ(f.text, "The function Find takes at most 3 arguments; You have called it with 4 arguments");
}

TEST(StringFunctions, ResultLimitIsAdjustableAndExactAtTheBound) {
    exprtest::FakeRuntime runtime;
    runtime.m_maxResultBytes = 10;
    EXPECT_EQ(exprtest::CallText("RepeatString", {"ab", "5"}, &runtime), "ababababab");
    EXPECT_EQ(CallFailure("RepeatString", {"ab", "6"}, &runtime).code, 0x400Au);
    EXPECT_EQ(exprtest::CallText("RJustify", {"a", "10"}, &runtime), "         a");
    EXPECT_EQ(CallFailure("RJustify", {"a", "11"}, &runtime).code, 0x400Au);
    // The limit is the runtime's own: another one, or none, has the default.
    EXPECT_EQ(exprtest::FakeRuntime().m_maxResultBytes, kDefaultMaxFunctionResultBytes);
    EXPECT_EQ(MaxFunctionResultBytes(nullptr), kDefaultMaxFunctionResultBytes);
}

}  // namespace
