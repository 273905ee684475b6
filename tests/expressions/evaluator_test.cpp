// Whole expressions through the driver: values, operator precedence, strings, variables
// and the author's messages for every kind of failure.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "engine/expressions/expression_parser.h"
#include "engine/parser/ss_exception.h"
#include "interfaces/tsx.h"
#include "tests/expressions/expression_test_support.h"

namespace {

using exprtest::Eval;
using exprtest::EvalBool;
using exprtest::EvalFailure;
using exprtest::FakeRuntime;

struct ValueCase {
    const char* expression;
    const char* text;
};

class ExpressionValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ExpressionValues, EvaluateToString) {
    FakeRuntime runtime;
    runtime.variables = {{"x", "5"}, {"name", "O'Neil"}, {"q.col", "c"}, {"d", "{d '1999-12-31'}"}, {"yes", "maybe"}};
    EXPECT_EQ(Eval(GetParam().expression, &runtime), GetParam().text) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExpressionValues,
    ::testing::Values(
        ValueCase{"1+2*3", "7"}, ValueCase{"1 + 2 * 3", "7"}, ValueCase{"\"a\" & \"b\"", "ab"},
        ValueCase{"10 MOD 3", "1"}, ValueCase{"2^10", "1024"}, ValueCase{"2 ^ 3 ^ 2", "64"},
        ValueCase{"1 & 2 + 3", "15"}, ValueCase{"1/3", "0.333333333333"}, ValueCase{"7 / 2", "3.5"},
        ValueCase{"6 / 3", "2"}, ValueCase{"7 \\ 2", "3"}, ValueCase{"-7 \\ 2", "-3"}, ValueCase{"7.9 \\ 2", "3"},
        ValueCase{"-7 MOD 2", "-1"}, ValueCase{"7 MOD -2", "1"}, ValueCase{"2 ^ 0.5", "1.41421356237"},
        ValueCase{"2 ^ -1", "0.5"}, ValueCase{"(-2) ^ 3", "-8"}, ValueCase{"-(2) ^ 3", "-8"},
        ValueCase{"\"1\" + \"2\"", "3"}, ValueCase{"1 & 2", "12"}, ValueCase{"1.5E3", "1.5E3"},
        ValueCase{"1.5E3 + 0", "1500"}, ValueCase{"\"abc\" IS \"ABC\"", "YES"},
        ValueCase{"5 GREATER THAN 3 AND NOT 0", "YES"}, ValueCase{"NOT 1 IS 2", "YES"}, ValueCase{"TRUE", "YES"},
        ValueCase{"false", "NO"}, ValueCase{"'yes\"", "YES"}, ValueCase{"\"YES\"", "YES"}, ValueCase{"'No'", "NO"},
        ValueCase{"yes", "maybe"}, ValueCase{"\"a\"\"b##c\"", "a\"b#c"}, ValueCase{"'it''s'", "it's"},
        ValueCase{"\"\"", ""}, ValueCase{"\"x#x#y\"", "x5y"}, ValueCase{"'[#x#]'", "[5]"}, ValueCase{"#x# * 2", "10"},
        ValueCase{"-#x#", "-5"}, ValueCase{"+x", "5"}, ValueCase{"-(1)", "-1"}, ValueCase{"-(TRUE)", "-1"},
        ValueCase{"+(\"abc\")", "abc"}, ValueCase{"\"1.0\" IS 1", "YES"}, ValueCase{"\"a\" IS \"a \"", "NO"},
        ValueCase{"\"abc\" LT \"ABD\"", "YES"}, ValueCase{"TRUE IS 1", "YES"}, ValueCase{"\"abc\" GT 5", "YES"},
        ValueCase{"\"Hello\" CONTAINS \"ELL\"", "YES"}, ValueCase{"x CONTAINS \"\"", "YES"},
        ValueCase{"\"Hello\" DOES NOT CONTAIN \"x\"", "YES"}, ValueCase{"1 NEQ 2", "YES"},
        ValueCase{"1 NOT EQUAL 1", "NO"}, ValueCase{"2 EQ 2.0", "YES"}, ValueCase{"3 GTE 3", "YES"},
        ValueCase{"3 LESS THAN OR EQUAL TO 2", "NO"}, ValueCase{"d GT 36524", "YES"}, ValueCase{"d IS 36525", "YES"},
        ValueCase{"d + 1", "36526"}, ValueCase{"FALSE IMP FALSE", "YES"}, ValueCase{"TRUE IMP FALSE", "NO"},
        ValueCase{"TRUE XOR FALSE", "YES"}, ValueCase{"TRUE EQV FALSE", "NO"}, ValueCase{"FALSE AND 'abc'", "NO"},
        ValueCase{"TRUE OR 'abc'", "YES"}, ValueCase{"NOT 'NO'", "YES"}, ValueCase{"NOT 5", "NO"},
        ValueCase{"name", "O'Neil"}, ValueCase{"q.col", "c"}, ValueCase{"\"a\" & 1.5 & TRUE", "a1.5YES"}));

struct FailureCase {
    const char* expression;
    std::uint32_t code;
    const char* textStart;
};

class ExpressionFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ExpressionFailures, CodeAndText) {
    FakeRuntime runtime;
    const auto f = EvalFailure(GetParam().expression, &runtime);
    ASSERT_TRUE(f.thrown) << GetParam().expression;
    EXPECT_EQ(f.code, GetParam().code) << GetParam().expression;
    EXPECT_EQ(f.text.rfind(GetParam().textStart, 0), 0u) << GetParam().expression << " -> " << f.text;
}

// Errors of the author's expression reach the caller with code 0 and their own text;
// parser errors keep the code of their kind.
INSTANTIATE_TEST_SUITE_P(
    Table, ExpressionFailures,
    ::testing::Values(
        FailureCase{"undefinedVar", 0, "Error resolving parameter <B>undefinedVar</B><P>Variable not found"},
        FailureCase{"'abc' + 1", 0, "Cannot convert abc to real.<P>Please, check the Tessaro manual"},
        FailureCase{"5 / 0", 0, "Division by zero is not allowed"},
        FailureCase{"'abc' / 0", 0, "Division by zero is not allowed"},
        FailureCase{"5 \\ 0", 0, "Division by zero is not allowed"},
        FailureCase{"5 MOD 0", 0, "Division by zero is not allowed"},
        FailureCase{"0 ^ 0", 0, "Zero raised to a power is not allowed"},
        FailureCase{"TRUE AND 'abc'", 0, "Cannot convert abc to boolean"},
        FailureCase{"TRUE XOR 'abc'", 0, "Cannot convert abc to boolean"},
        FailureCase{"-2147483648 \\ -1", 0, "The result of the integer division does not fit"},
        FailureCase{"-2147483648 MOD -1", 0, "The result of the integer division does not fit"},
        FailureCase{"-(\"abc\")", 0, "Cannot convert abc to real"},
        FailureCase{"Foo(1)", 0, "There is no Tessaro function named Foo. Check the spelling"},
        FailureCase{"Pi(1)", 0, "The function Pi takes no arguments"},
        FailureCase{"Abs('x')", 0, "Parameter 1 of function Abs which is now \"x\" must be a real number"},
        FailureCase{"1 / / 2", 0x4008, "Invalid expression formulation."},
        FailureCase{"1  2", 0x4008, "Invalid expression formulation."},
        FailureCase{"-\"a\"", 0x4008, "Invalid expression formulation."},
        FailureCase{"1e5", 0x4008, "Invalid expression formulation."},
        FailureCase{"1 +", 0x4008, "Invalid expression formulation."},
        FailureCase{"", 0x4008, "Invalid expression formulation."},
        FailureCase{"a\rb", 0x4006, "Invalid expression element."},
        FailureCase{"1 @ 2", 0x4006, "Invalid expression element."},
        FailureCase{"'unterminated", 0x4008, "Invalid expression formulation."}));

TEST(Evaluator, ParserMessagesEndWithTheRuntimeCode) {
    auto f = EvalFailure("1 / / 2");
    EXPECT_NE(f.text.find("as in '1 / / 2' or '1  2'. (16)"), std::string::npos) << f.text;
    f = EvalFailure("1 ? 2");
    EXPECT_EQ(f.text,
              "Invalid expression element. The usual cause of this error is a misspelling in the expression "
              "text. (5)");
}

TEST(Evaluator, ToBooleanAcceptsWordsNumbersAndBooleans) {
    EXPECT_TRUE(EvalBool("'yes'"));
    EXPECT_TRUE(EvalBool("2"));
    EXPECT_FALSE(EvalBool("0"));
    EXPECT_TRUE(EvalBool("1 LT 2"));
    FakeRuntime runtime;
    const auto f = exprtest::Catch([&] { exprtest::Driver().EvaluateToBoolean(&runtime, "'abc'", -1); });
    EXPECT_EQ(f.code, 0x4002u) << "a conversion after the evaluation is not re-worded";
    EXPECT_EQ(f.text.rfind("Cannot convert abc to boolean", 0), 0u);
}

TEST(Evaluator, VariableLookupsPassTheRowAndFlagZero) {
    FakeRuntime runtime;
    runtime.variables = {{"a", "1"}, {"b", "2"}};
    std::string out;
    exprtest::Driver().EvaluateToString(&runtime, "a + #b#", out, 7);
    EXPECT_EQ(out, "3");
    EXPECT_EQ(runtime.lookups, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(runtime.rows, (std::vector<int>{7, 7}));
    EXPECT_EQ(runtime.m_row, 7);
}

TEST(Evaluator, EscapeFlagDoublesQuotesUnlessTheValueIsOneDateLiteral) {
    FakeRuntime runtime;
    runtime.escape = 1;
    runtime.variables = {{"name", "O'Neil"},
                         {"stamp", "{ts '2000-01-01 00:00:00'}"},
                         {"spaced", "  { d '1998-01-01' }  "},
                         {"attack", "{x' OR '1'='1"},
                         {"tail", "{d '1998-01-01'} OR 'a'='a'"}};
    EXPECT_EQ(Eval("name", &runtime), "O''Neil");
    EXPECT_EQ(Eval("stamp", &runtime), "{ts '2000-01-01 00:00:00'}");
    EXPECT_EQ(Eval("spaced", &runtime), "  { d ''1998-01-01'' }  ");
    EXPECT_EQ(Eval("attack", &runtime), "{x'' OR ''1''=''1");
    EXPECT_EQ(Eval("tail", &runtime), "{d ''1998-01-01''} OR ''a''=''a''");
    EXPECT_EQ(Eval("PreserveSingleQuotes(name)", &runtime), "O'Neil");
    EXPECT_EQ(Eval("\"x#PreserveSingleQuotes(attack)#\"", &runtime), "x{x' OR '1'='1");
    runtime.escape = 0;
    EXPECT_EQ(Eval("name", &runtime), "O'Neil");
}

TEST(Evaluator, SpecialFunctionsCallTheRegisteredFunctionWithTheIdentifierText) {
    // The call reaches the registered function with the identifier's text as its one argument.
    auto f = EvalFailure("ValueList(q.col)");
    EXPECT_EQ(f.text,
              "Parameter 1 of function ValueList which is now \"q.col\" must be pointing to a valid query name");
    FakeRuntime runtime;
    runtime.variables = {{"Form.X", "1"}};
    EXPECT_EQ(Eval("#ParameterExists(Form.X)#", &runtime), "YES");
    EXPECT_EQ(runtime.lookups, (std::vector<std::string>{"Form.X"}));
}

TEST(Evaluator, InternalErrorsAreReworded) {
    // An undefined variable inside PreserveSingleQuotes is a lookup failure of the author.
    auto f = EvalFailure("PreserveSingleQuotes(nothing)");
    EXPECT_EQ(f.code, 0u);
    EXPECT_EQ(f.text, "Error resolving parameter <B>nothing</B><P>Variable not found");
}

TEST(Evaluator, NestedEvaluationHasADepthBound) {
    // A variable whose lookup evaluates itself again.
    class Recursive : public FakeRuntime {
    public:
        void LookupVariable(const std::string& name, int row, std::string& value, int) override {
            Evaluate(value, name, row);
        }
    } runtime;
    const auto f = EvalFailure("loop", &runtime);
    ASSERT_TRUE(f.thrown);
    EXPECT_NE(f.text.find("more than 32 levels deep"), std::string::npos) << f.text;
}

TEST(Evaluator, DriverWithAMissingTableFails) {
    exprtest::LogCapture log;
    const auto f =
        exprtest::Catch([] { CExpressionEvaluationDriver broken("IDR_NO_SUCH_TABLE", "IDR_YACC_BOOLPARSER"); });
    EXPECT_EQ(f.code, 0x800Du);
    EXPECT_EQ(f.text, "Cannot create Lex and Yacc table objects");
    ASSERT_FALSE(exprtest::LogCapture::Lines().empty());
    EXPECT_EQ(exprtest::LogCapture::Lines().back(),
              std::make_pair(std::string("CExpressionEvaluationDriver::CExpressionEvaluationDriver"),
                             std::string("cannot create tables")));
}

}  // namespace

namespace {

// One driver serves every request thread: its tables and objects are only read.
TEST(Evaluator, ConcurrentEvaluationsShareTheDriver) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &wrong] {
            exprtest::FakeRuntime runtime;
            runtime.variables = {{"n", std::to_string(t)}};
            for (int i = 0; i < 200; ++i) {
                std::string out;
                exprtest::Driver().EvaluateToString(&runtime, "\"v\" & (n * 10 + 1) & #n# IS \"v\" & (n * 10 + 1) & n",
                                                    out, i);
                if (out != "YES") ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace

namespace {

TEST(Evaluator, ParserErrorTranslation) {
    struct Case {
        std::uint32_t ssCode;
        std::uint32_t code;
        const char* start;
        const char* end;
        const char* log;  // null: no log line
    };
    const Case cases[] = {
        {5, 0x4006, "Invalid expression element.", "(5)", nullptr},
        {8, 0x8007, "An unexpected system error has occured during the evaluation", "(8)", "SSExceptionLifoFull"},
        {13, 0x4007, "Invalid expression format.", "(13)", "SSExceptionParseFailed"},
        {16, 0x4008, "Invalid expression formulation.", "as in '1 / / 2' or '1  2'. (16)", nullptr},
        {7, 0x8008, "An unexpected parser error has occurred during the evaluation of the expression.<BR>", "(7)",
         "VParseException"},
    };
    for (const Case& c : cases) {
        exprtest::LogCapture log;
        const auto f = exprtest::Catch([&] { ThrowParserError(SSException(c.ssCode, "x")); });
        EXPECT_EQ(f.code, c.code) << c.ssCode;
        EXPECT_EQ(f.text.rfind(c.start, 0), 0u) << f.text;
        EXPECT_EQ(f.text.substr(f.text.size() - std::strlen(c.end)), c.end);
        if (c.log == nullptr) {
            EXPECT_TRUE(exprtest::LogCapture::Lines().empty()) << c.ssCode;
        } else {
            ASSERT_EQ(exprtest::LogCapture::Lines().size(), 1u) << c.ssCode;
            EXPECT_EQ(exprtest::LogCapture::Lines()[0].first, "CExpressionEvaluationDriver::Evaluate");
            EXPECT_EQ(exprtest::LogCapture::Lines()[0].second, c.log);
        }
    }
}

TEST(Evaluator, EvaluatorErrorsAreRewordedByClass) {
    EXPECT_EQ(ComposeEvaluatorMessage(0x400A, "own text"), "own text");
    const std::string internal = ComposeEvaluatorMessage(0x8002, "Invalid out type");
    EXPECT_EQ(
        internal.rfind("An unexpected system error was detected. (Error code is 2)<BR><BR>This type of error will "
                       "most likely occur",
                       0),
        0u);
    EXPECT_NE(internal.find("<b>in a reproducible fashion</b>"), std::string::npos);
    EXPECT_EQ(ComposeEvaluatorMessage(0, "x"), "An unknown system error was detected. (Error code is not known)<BR>");
}

TEST(Evaluator, LexerTokenNames) {
    ExprLexClass lexer;
    EXPECT_STREQ(lexer.tokenText(11), "\\");
    EXPECT_STREQ(lexer.tokenText(26), "isnot");
    EXPECT_STREQ(lexer.tokenText(35), "\"");
    EXPECT_STREQ(lexer.tokenText(50), "sqs_double_single_quote");
    EXPECT_STREQ(lexer.tokenText(0xFFFFFFFFu), "eof");
    EXPECT_STREQ(lexer.tokenText(1), "SSLexTokenNotFound");
    EXPECT_STREQ(lexer.tokenText(51), "SSLexTokenNotFound");
}

}  // namespace

namespace {

TEST(Evaluator, LargeInputsGiveAValueOrAClearError) {
    const std::string deep = std::string(20000, '(') + "1" + std::string(20000, ')');
    const auto f = EvalFailure(deep);
    if (f.thrown) {
        EXPECT_FALSE(f.text.empty());
    } else {
        EXPECT_EQ(Eval(deep), "1");
    }
    std::string sum = "0";
    for (int i = 0; i < 5000; ++i) sum += " + 1";
    EXPECT_EQ(Eval(sum), "5000");
    const std::string longText = "\"" + std::string(100000, 'x') + "\"";
    EXPECT_EQ(Eval(longText).size(), 100000u);
    std::string manyArguments = "Max(1";
    for (int i = 0; i < 3000; ++i) manyArguments += ", 1";
    manyArguments += ")";
    EXPECT_EQ(EvalFailure(manyArguments).text, "The function Max takes  2 arguments(s)");
}

TEST(Evaluator, StringOfManyPartsKeepsEveryPart) {
    // Each doubled quote, doubled pound and variable is a part of its own; parts are joined
    // by moving the text built so far, so none may be lost on the way.
    FakeRuntime runtime;
    runtime.variables = {{"v", "<v>"}};
    std::string expression = "\"", expected;
    for (int i = 0; i < 3000; ++i) {
        expression += "a\"\"b##c#v#";
        expected += "a\"b#c<v>";
    }
    expression += "\"";
    EXPECT_EQ(Eval(expression, &runtime), expected);
    EXPECT_EQ(Eval("'x''y' & \"#v#\"\"\" & 1", &runtime), "x'y<v>\"1");
}

}  // namespace

// SQL text: every value that came from a variable is escaped once, after the functions and
// operators worked on the real text, so a cut can never leave half of a doubled quote.
TEST(Evaluator, SqlTextEscapesTheFinalValueOfEveryPartThatCameFromAVariable) {
    FakeRuntime runtime;
    runtime.escape = 1;
    runtime.variables = {{"a", "xxxx'"}, {"b", "it''s"}, {"flag", "yes"}, {"expr", "a"}};
    struct Case {
        const char* text;
        const char* sql;
    } const cases[] = {
        {"'#Left(a, 5)#'", "'xxxx'''"},
        {"'#Right(a, 1)#'", "''''"},
        {"'#Mid(b, 4, 2)#'", "'''s'"},
        {"'#RemoveChars(b, 1, 3)#'", "'''s'"},
        {"'#Insert(\"'\", a, 0)#'", "'''xxxx'''"},
        {"'#Reverse(a)#'", "'''xxxx'"},
        {"'#Replace(a, \"x\", \"\", \"ALL\")#'", "''''"},
        {"'#ListGetAt(b, 1, \"s\")#'", "'it'''''"},
        {"'#Trim(a & b)#'", "'xxxx''it''''s'"},
        {"'#IIf(flag, \"a\", DE(\"x\"))#'", "'xxxx'''"},
        // A condition on a value that picks a text with an unpaired quote of the template's
        // would decide where the quoted string ends: that quote is the value's.
        {"'#IIf(flag, DE(\"x'\"), \"a\")#'", "'x'''"},
        {"'#IIf(flag, DE(\"x''y\"), \"a\")#'", "'x''y'"},
        {"'#IIf(1, DE(\"x'\"), \"a\")#'", "'x''"},
        {"'#Evaluate(\"a\")#'", "'xxxx'''"},
        // Literal text of the template keeps today's meaning.
        {"x #DE(\"name='a'\")#", "x \"name='a'\""},
        {"'#PreserveSingleQuotes(a)#'", "'xxxx''"},
        {"{d '#a#'} ## #Len(a)#", "{d 'xxxx'''} # 5"},
    };
    for (const Case& c : cases) {
        std::string out;
        exprtest::Failure failure = exprtest::Catch([&] { exprtest::Driver().EvaluateSqlTemplateText(&runtime, c.text, out, -1); });
        EXPECT_FALSE(failure.thrown) << c.text << ": " << failure.text;
        EXPECT_EQ(out, c.sql) << c.text;
    }
    std::string out;
    exprtest::Failure unmatched = exprtest::Catch([&] { exprtest::Driver().EvaluateSqlTemplateText(&runtime, "'#a", out, -1); });
    EXPECT_EQ(unmatched.code, expr_code::kInvalidFormat);
}

// Error texts quote values from the request: the page shows them as text.
TEST(Evaluator, ErrorTextsQuoteValuesEscaped) {
    FakeRuntime runtime;
    const std::string attack = "<img src=x onerror=alert(1)></XMP><script>";
    runtime.variables = {{"x", attack}};
    const char* const expressions[] = {
        "x + 1",          "ListGetAt(x, 9)",      "Mid(\"a\", x, 1)",       "DateFormat(x)",
        "SetVariable(x, 1)", "Abs(x)",            "Insert(\"a\", x, 999)", "RemoveChars(x, 999, 1)",
        "NumberFormat(1, x)", "Replace(\"a\", \"a\", \"b\", x)", "ParseDateTime(x)", "YesNoFormat(x)",
    };
    for (const char* expression : expressions) {
        exprtest::Failure f = EvalFailure(expression, &runtime);
        EXPECT_TRUE(f.thrown) << expression;
        EXPECT_EQ(f.text.find('<' + std::string("img")), std::string::npos) << expression << ": " << f.text;
        EXPECT_EQ(f.text.find("<script"), std::string::npos) << expression << ": " << f.text;
        EXPECT_EQ(f.text.find("</XMP"), std::string::npos) << expression << ": " << f.text;
    }
}

// Numbers that do not fit the argument's type are refused, not wrapped or printed as INF.
TEST(Evaluator, NumbersBeyondTheirTypeRaiseErrors) {
    struct Case {
        const char* expression;
        const char* message;
    } const cases[] = {
        {"RepeatString(\"a\", 4294967297)", "must be a non-negative integer"},
        {"BitOr(4294967296, 0)", "must be an integer"},
        {"BitAnd(1, -4294967295)", "must be an integer"},
        {"Left(\"abc\", 4294967298)", "must be a positive integer"},
        {"2^1024", "too large for a real number"},
        {"(-8)^(1/3)", "is not a real number"},
    };
    for (const Case& c : cases) {
        exprtest::Failure f = exprtest::Catch([&] {
            std::string out;
            exprtest::Driver().EvaluateToString(nullptr, c.expression, out, -1);
            ADD_FAILURE() << c.expression << " gave " << out;
        });
        EXPECT_TRUE(f.thrown) << c.expression;
        EXPECT_NE(f.text.find(c.message), std::string::npos) << c.expression << ": " << f.text;
    }
    EXPECT_EQ(Eval("RepeatString(\"a\", 3)"), "aaa");
    EXPECT_EQ(Eval("BitOr(2147483647, 0)"), "2147483647");
    EXPECT_EQ(Eval("(-2)^3"), "-8");
    EXPECT_EQ(Eval("2^1023 GT 1"), "YES");
}

namespace {

class TagFailure : public CTSXException {
public:
    const char* GetTitle() override { return "Tag failed"; }
    const char* GetDetail() override { return "The <B>detail</B>"; }
};

// The request's lookups run an extension tag whose error comes back as its own exception.
class ExtensionTagRuntime : public exprtest::FakeRuntime {
public:
    void LookupVariable(const std::string& name, int row, std::string& value, int mustExist) override {
        if (name == "tagged") throw new TagFailure;
        FakeRuntime::LookupVariable(name, row, value, mustExist);
    }
};

TEST(Evaluator, AnExtensionTagErrorBecomesAnExpressionError) {
    ExtensionTagRuntime runtime;
    runtime.variables = {{"x", "1"}};
    for (const char* expression : {"tagged", "x + tagged", "Len(\"a#tagged#\")", "ParameterExists(tagged)"}) {
        const exprtest::Failure f = EvalFailure(expression, &runtime);
        EXPECT_TRUE(f.thrown) << expression;
        // An author error (0x400E), so its own text reaches the page.
        EXPECT_EQ(f.text, "Tag failed<BR>The <B>detail</B>\n") << expression;
    }
}

// A carriage return is no white space: outside a string it is an invalid character, and
// inside one it is part of the text, also when the text comes from a form.
TEST(Evaluator, CarriageReturnsAreLexedAsTheyStand) {
    FakeRuntime runtime;
    runtime.variables = {{"sum", "1\r\n+ 2"}, {"lines", "a\r\nb"}};
    for (const char* expression : {"1\r\n+ 2", "1 +\r2", "Evaluate(sum)"}) {
        const exprtest::Failure f = EvalFailure(expression, &runtime);
        EXPECT_TRUE(f.thrown) << expression;
        EXPECT_NE(f.text.find("Invalid expression element"), std::string::npos) << expression << ": " << f.text;
    }
    EXPECT_EQ(Eval("1\n+ 2", &runtime), "3");
    EXPECT_EQ(Eval("Len(\"a\r\nb\")", &runtime), "4");
    EXPECT_EQ(Eval("Len(Evaluate(DE(lines)))", &runtime), "4");
    EXPECT_EQ(Eval("Len(IIf(1, DE(lines), DE('')))", &runtime), "4");
}

}  // namespace
