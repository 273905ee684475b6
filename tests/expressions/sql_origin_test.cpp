// SQL text doubles exactly the single quotes that came from values: each character of a
// text knows whether the template wrote it or a value brought it, through the functions
// that move characters and through nested evaluations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/expressions/text_origin.h"
#include "tests/expressions/expression_test_support.h"

namespace {

using exprtest::FakeRuntime;

// One marker per character: L written by the template, v from a value.
std::string Marks(const CTracedText& text) {
    std::string marks;
    for (std::size_t i = 0; i < text.size(); ++i) marks += text.IsValueAt(i) ? 'v' : 'L';
    return marks;
}

TEST(TracedText, UniformTextsKeepOneMarkAndMixedOnesOnePerCharacter) {
    CTracedText text;
    text.AppendLiteral("ab").AppendLiteral("c");
    EXPECT_FALSE(text.Origin().IsMixed());
    EXPECT_FALSE(text.Origin().FromValue());

    CTracedText value = CTracedText::Value("xy");
    value.AppendUniform("z", true);
    EXPECT_FALSE(value.Origin().IsMixed());
    EXPECT_TRUE(value.Origin().AllValue());

    text.Append(value).AppendLiteral("'");
    EXPECT_TRUE(text.Origin().IsMixed());
    EXPECT_EQ(text.Text(), "abcxyz'");
    EXPECT_EQ(Marks(text), "LLLvvvL");

    // A cut that keeps one origin only is uniform again.
    const CTracedText literal = CTracedText::Slice(text.View(), 0, 3);
    EXPECT_FALSE(literal.Origin().IsMixed());
    EXPECT_FALSE(literal.Origin().FromValue());
    const CTracedText fromValue = CTracedText::Slice(text.View(), 3, 3);
    EXPECT_TRUE(fromValue.Origin().AllValue());
    EXPECT_EQ(Marks(CTracedText::Slice(text.View(), 2, 100)), "LvvvL");

    text.Reverse();
    EXPECT_EQ(text.Text(), "'zyxcba");
    EXPECT_EQ(Marks(text), "LvvvLLL");
}

TEST(TracedText, AnEmptyValueStillTookPart) {
    CTracedText text = CTracedText::Literal("'a'");
    text.Append(CTracedText::Value(""));
    EXPECT_EQ(Marks(text), "LLL");
    // Not a character of it is a value's, but what is computed from the text is.
    EXPECT_TRUE(text.Origin().FromValue());
}

// No operation changes the characters without their marks: an origin cannot be set apart
// from the text it describes.
TEST(TracedText, EveryChangeOfTheCharactersChangesTheirMarks) {
    CTracedText text = CTracedText::Literal("ab");
    text.Append(CTracedText::Value("c'd")).AppendLiteral("e");
    ASSERT_EQ(Marks(text), "LLvvvL");
    // A part of a view reads the marks of its own characters.
    const CTracedView whole = text.View();
    EXPECT_EQ(Marks(CTracedText::Slice(whole.Sub(1, 3))), "Lvv");
    EXPECT_EQ(Marks(CTracedText::Slice(whole.Sub(3).Sub(1))), "vL");
    EXPECT_EQ(Marks(CTracedText::Slice(whole.Sub(9))), "");
    // A mapping that keeps the length keeps each mark in place; one that does not trusts
    // nothing.
    CTracedText upper = CTracedText::Slice(whole);
    upper.MapKeepingLength([](std::string& t) {
        for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    EXPECT_EQ(upper.Text(), "ABC'DE");
    EXPECT_EQ(Marks(upper), "LLvvvL");
    CTracedText longer = CTracedText::Slice(whole);
    longer.MapKeepingLength([](std::string& t) { t += "''"; });
    EXPECT_EQ(Marks(longer), "vvvvvvvv");
    // Other characters in place of mixed ones are a value's; a uniform text stays uniform.
    CTracedText replaced = CTracedText::Slice(whole);
    replaced.ReplaceText("x'");
    EXPECT_EQ(Marks(replaced), "vv");
    CTracedText literal = CTracedText::Literal("ab");
    literal.ReplaceText("x'y");
    EXPECT_EQ(Marks(literal), "LLL");
    EXPECT_EQ(text.TakeText(), "abc'de");
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(text.Origin().FromValue());
}

// The lexer reads a text of mixed origin as its bytes, nothing dropped: a CR before an LF,
// of either origin, leaves every later character with its own mark.
TEST(TracedText, ALexemeReadsTheMarksOfItsOwnCharacters) {
    FakeRuntime runtime;
    runtime.escape = 1;
    std::string lines;
    for (int i = 0; i < 30; ++i) lines += "\r\n";
    const struct {
        const char* literalBefore;
        std::string value;
        const char* literalAfter;
        std::string marks;
    } cases[] = {
        {"'", lines + "'' OR ''1''=''1", "'", std::string(71, 'v')},
        {"'\r\n\r\n", "''", "x'", "LLLLvL"},
        {"'", "a\rb''", "\r\n'", "vvvvLL"},
        {"'\r", "\n''", "'", "Lvv"},
        {"\"", lines + "'", "\" & '\r\n'", std::string(61, 'v') + "LL"},
    };
    for (const auto& c : cases) {
        CTracedText source = CTracedText::Literal(c.literalBefore);
        source.Append(CTracedText::Value(c.value)).AppendLiteral(c.literalAfter);
        CTracedText value;
        const exprtest::Failure f =
            exprtest::Catch([&] { exprtest::Driver().EvaluateToTracedText(&runtime, source.View(), value, -1); });
        ASSERT_FALSE(f.thrown) << f.text;
        EXPECT_EQ(Marks(value), c.marks) << source.Text();
    }
}

TEST(TracedText, SqlDoublesTheQuotesOfValuesOnly) {
    CTracedText text = CTracedText::Literal("name = '");
    text.Append(CTracedText::Value("O'Neil"));
    text.AppendLiteral("'");
    EXPECT_EQ(QuoteValuesForSql(text), "name = 'O''Neil'");
    EXPECT_EQ(QuoteValuesForSql(CTracedText::Literal("'a'")), "'a'");
    EXPECT_EQ(QuoteValuesForSql(CTracedText::Value("'a'")), "''a''");
    // A whole ODBC literal keeps its quotes; anything after it does not make one.
    EXPECT_EQ(QuoteValuesForSql(CTracedText::Value("{d '2024-01-02'}")), "{d '2024-01-02'}");
    EXPECT_EQ(QuoteValuesForSql(CTracedText::Value("{d '2024-01-02'} OR 'a'='a'")),
              "{d ''2024-01-02''} OR ''a''=''a''");
}

// A request whose one query q holds the column name with the rows a and O'Neil.
class QueryRuntime : public FakeRuntime {
public:
    class Names : public CExpressionQuery {
    public:
        int GetRowCount() override { return 2; }
        int FindColumn(const std::string& name) override { return name == "name" ? 1 : -1; }
        std::string GetCell(int row, int) override { return row == 1 ? "a" : "O'Neil"; }
    };
    CExpressionQuery* FindQuery(const std::string& name) override { return name == "q" ? &m_names : nullptr; }

private:
    Names m_names;
};

QueryRuntime Request(int escape) {
    QueryRuntime runtime;
    runtime.escape = escape;
    runtime.variables = {{"URL.a", "O'Neil"},
                         {"URL.ada", "Ada"},
                         {"URL.attack", " OR 1=1 OR name="},
                         {"URL.empty", ""},
                         {"URL.pair", "x''y"},
                         {"URL.n", "39"},
                         {"URL.nine", "9"},
                         {"URL.m", "-25"},
                         {"URL.q", "'"},
                         {"URL.long", std::string(39, 'x')},
                         {"URL.two", "2"},
                         {"URL.list", "a,O'Neil"},
                         {"URL.dashed", "o-neil"},
                         {"URL.x", "X"},
                         {"URL.spaced", "  O'Neil "},
                         {"URL.text", "\"' OR 1=1 --\""},
                         {"URL.chr", "Chr(39)"},
                         {"URL.keep", "PreserveSingleQuotes(URL.a)"},
                         {"URL.date", "2024-01-02"},
                         {"URL.lines", "\r\n\r\n'' OR ''1''=''1"},
                         {"URL.crlf", "a\r\nb'c\r\n"},
                         {"Client.who", "O'Neil"},
                         {"Cookie.who", "O'Neil"}};
    return runtime;
}

struct SqlCase {
    const char* expression;
    const char* sql;  // the value as SQL text takes it
};

// Each expression as one #...# of SQL text; outside SQL text the same expressions give their
// plain values (the SQL text with only the values' quotes undoubled).
const SqlCase kSqlCases[] = {
    // The condition idiom: the author's quotes are SQL, the value's are data.
    {"IIf(Len(URL.ada) GT 0, DE(\"name = '\" & URL.ada & \"'\"), DE(\"1 = 1\"))", "name = 'Ada'"},
    {"IIf(Len(URL.attack) GT 0, DE(\"name = '\" & URL.attack & \"'\"), DE(\"1 = 1\"))", "name = ' OR 1=1 OR name='"},
    {"IIf(Len(URL.a) GT 0, DE(\"name = '\" & URL.a & \"'\"), DE(\"1 = 1\"))", "name = 'O''Neil'"},
    {"IIf(Len(URL.empty) GT 0, DE(\"name = '\" & URL.empty & \"'\"), DE(\"1 = 1\"))", "1 = 1"},
    {"\"'\" & URL.a & \"'\"", "'O''Neil'"},
    {"'''' & URL.empty & ''''", "''"},
    // Cuts of a value never split a doubled pair.
    {"Left(URL.pair, 2)", "x''"},
    {"Mid(URL.pair, 2, 2)", "''''"},
    {"Right(URL.pair, 3)", "''''y"},
    // Characters computed from a value, through numbers too.
    {"Chr(URL.n)", "''"},
    {"Chr(URL.n + 0)", "''"},
    {"Chr(64 + URL.m)", "''"},
    {"Chr(Val(URL.n))", "''"},
    {"Chr(Int(URL.n))", "''"},
    {"Chr(Asc(URL.q))", "''"},
    {"Chr(Len(URL.long))", "''"},
    {"Chr(39 + Len(URL.empty))", "''"},
    {"Chr(39)", "'"},
    // Lists: a value's elements are values; the author's list keeps the author's quotes,
    // unless a value picks where it is cut.
    {"ListGetAt(URL.list, 2)", "O''Neil"},
    {"ListGetAt(\"'a','b'\", 2)", "'b'"},
    {"ListGetAt(\"'a','b'\", URL.two)", "''b''"},
    {"ListSetAt(\"'a','b'\", 2, \"'\" & URL.a & \"'\")", "'a','O''Neil'"},
    {"ListAppend(\"'a'\", \"'\" & URL.a & \"'\")", "'a','O''Neil'"},
    // A replacement the author writes into the author's text keeps the author's quotes; one
    // that lands where a value's characters decide is part of that value.
    {"Replace(\"name = 'X'\", \"X\", URL.a)", "name = 'O''Neil'"},
    {"Replace(URL.dashed, \"-\", \"'\")", "o''neil"},
    {"Replace(\"name = 'X'\", URL.x, \"Y\")", "name = ''Y''"},
    {"ReplaceList(\"name = 'X'\", \"X\", URL.a)", "name = 'O''Neil'"},
    // A cut whose place a value's length decides.
    {"Left(\"'\" & URL.ada & \"'\", 4)", "''Ada"},
    // Characters that only change case or lose white space keep their origin.
    {"Trim(\"  '\" & URL.spaced & \"'  \")", "'  O''Neil '"},
    {"\"'\" & Trim(URL.spaced) & \"'\"", "'O''Neil'"},
    {"UCase(\"name = '\" & URL.a & \"'\")", "NAME = 'O''NEIL'"},
    {"Reverse(\"'\" & URL.ada & \"'\")", "'adA'"},
    {"DE(URL.a)", "\"O''Neil\""},
    // Texts evaluated again: what a value wrote in them is a value.
    {"Evaluate(URL.text)", "'' OR 1=1 --"},
    {"Evaluate(URL.chr)", "''"},
    {"Evaluate(URL.keep)", "O''Neil"},
    {"Evaluate(\"Chr(39)\")", "'"},
    {"Evaluate(DE(\"'\" & URL.a & \"'\"))", "'O''Neil'"},
    {"Evaluate(\"Chr(3\" & URL.nine & \")\")", "''"},
    {"Evaluate(\"Chr(\" & URL.n & \")\")", "''"},
    {"Evaluate(\"'\" & URL.q & \"'\")", "<error>"},
    // The author keeps a value's quotes on purpose; no value can ask for that.
    {"PreserveSingleQuotes(URL.a)", "O'Neil"},
    {"Client.who", "O''Neil"},
    {"Cookie.who", "O''Neil"},
    {"CreateODBCDate(URL.date)", "{d '2024-01-02'}"},
    // Query columns: cells are values, the quoted list's own quotes are the list's.
    {"ValueList(q.name)", "a,O''Neil"},
    {"QuotedValueList(q.name)", "'a','O''Neil'"},
    {"IIf(TRUE, \"QuotedValueList(q.name)\", DE(\"\"))", "'a','O''Neil'"},
    {"\"(\" & QuotedValueList(q.name) & \")\"", "('a','O''Neil')"},
    // A text area's lines end in CR LF: read again as an expression, each character keeps
    // its own mark, and the author's CR LF stay the author's.
    {"IIf(1, \"'\" & URL.lines & \"'\", DE(\"\"))", "\r\n\r\n'' OR ''1''=''1"},
    {"Evaluate(\"'\" & URL.lines & \"'\")", "\r\n\r\n'' OR ''1''=''1"},
    {"Evaluate(DE(URL.crlf))", "a\r\nb''c\r\n"},
    {"Evaluate(\"'\r\n\" & DE(URL.crlf) & \"'\")", "<error>"},
    {"\"'\r\n\" & URL.crlf & \"'\"", "'\r\na\r\nb''c\r\n'"},
    {"Trim(\"'\" & URL.crlf & \"'\r\n\")", "'a\r\nb''c\r\n'"},
    {"ListGetAt(URL.crlf, 2, Chr(10))", "b''c\r"},
    {"Replace(URL.crlf, Chr(13), \"\", \"ALL\")", "a\nb''c\n"},
    {"Left(\"'\r\n\" & URL.crlf, 8)", "''\r\na\r\nb''"},
    // Answers the request decides, from literal arguments; a literal a condition on a value
    // chose stays the author's while its quotes pair up.
    {"Chr(38 + ParameterExists(URL.a))", "''"},
    {"Chr(38 + ParameterExists(URL.none))", "&"},
    {"IIf(ParameterExists(URL.a), DE(Chr(39)), DE(\"\"))", "''"},
    {"IIf(1, DE(Chr(39)), DE(\"\"))", "'"},
    {"Chr(IIf(ParameterExists(URL.a), 39, 38))", "''"},
    {"IIf(URL.x IS \"X\", 39, 40)", "39"},
    {"IIf(URL.x IS \"X\", DE(\"name = 'X'\"), DE(\"1 = 1\"))", "name = 'X'"},
    {"Chr(39 + Second(Now()) * 0)", "''"},
    {"Chr(39 + RandRange(0, 0))", "''"},
    {"Chr(38 + FileExists(GetTemplatePath()))", "&"},
    {"Left(\"'\" & GetTemplatePath(), 1)", "''"},
    {"Chr(38 + DeleteClientVariable(\"f\"))", "''"},
    {"Chr(39 + Len(GetClientVariablesList()))", "''"},
    // A date that names no year takes the clock's.
    {"Chr(Year(\"Jan 5\") - Year(\"Jan 5\") + 39)", "''"},
    {"Chr(Year(\"Jan 5 2001\") - 1962)", "'"},
    {"Chr(IIf(\"Jan 5\" GT \"Jan 5 1900\", 39, 40))", "''"},
    {"Chr(IIf(\"Jan 5 2001\" GT \"Jan 5 1900\", 39, 40))", "'"},
    {"Evaluate(DE(\"'\" & URL.q & \"'\"))", "''''"},
    {"Evaluate(DE(\"'x\" & URL.q & \"'\"))", "'x'''"},
};

std::string Evaluated(QueryRuntime& runtime, const char* expression) {
    std::string out;
    const exprtest::Failure f =
        exprtest::Catch([&] { exprtest::Driver().EvaluateToString(&runtime, expression, out, -1); });
    return f.thrown ? "<error>" : out;
}

TEST(SqlOrigin, SqlTextDoublesTheQuotesOfValuesOnly) {
    QueryRuntime runtime = Request(1);
    for (const SqlCase& c : kSqlCases) EXPECT_EQ(Evaluated(runtime, c.expression), c.sql) << c.expression;
}

TEST(SqlOrigin, OutsideSqlTextNothingIsDoubled) {
    QueryRuntime runtime = Request(0);
    const struct {
        const char* expression;
        const char* value;
    } cases[] = {
        {"IIf(Len(URL.a) GT 0, DE(\"name = '\" & URL.a & \"'\"), DE(\"1 = 1\"))", "name = 'O'Neil'"},
        {"Chr(URL.n)", "'"},
        {"Left(URL.pair, 2)", "x'"},
        {"ListGetAt(\"'a','b'\", URL.two)", "'b'"},
        {"Replace(URL.dashed, \"-\", \"'\")", "o'neil"},
        {"Evaluate(URL.text)", "' OR 1=1 --"},
        {"ValueList(q.name)", "a,O'Neil"},
        {"QuotedValueList(q.name)", "'a','O''Neil'"},
        {"IIf(TRUE, \"QuotedValueList(q.name)\", DE(\"\"))", "'a','O''Neil'"},
    };
    for (const auto& c : cases) EXPECT_EQ(Evaluated(runtime, c.expression), c.value) << c.expression;
}

// Where each character of a value comes from, as the evaluator leaves it for the SQL text.
TEST(SqlOrigin, EachCharacterKeepsItsOriginThroughTheFunctionsThatMoveIt) {
    QueryRuntime runtime = Request(1);
    const struct {
        const char* expression;
        const char* marks;
    } cases[] = {
        {"'<' & URL.ada & '>'", "LvvvL"},
        {"DE('<' & URL.ada & '>')", "LLvvvLL"},
        {"IIf(URL.two GT 1, DE('<' & URL.ada & '>'), DE(''))", "LvvvL"},
        {"Evaluate(\"'<\" & URL.ada & \">'\")", "LvvvL"},
        {"LCase('<' & URL.ada & '>')", "LvvvL"},
        {"Trim(' <' & URL.ada & '> ')", "LvvvL"},
        {"LJustify('<' & URL.ada & '>', 7)", "LvvvLLL"},
        {"LJustify('<>', URL.two + 3)", "LLvvv"},
        {"RepeatString('<' & URL.ada & '>', 2)", "LvvvLLvvvL"},
        {"RepeatString('<>', URL.two)", "vvvv"},
        {"Insert(URL.ada, '<>', 1)", "LvvvL"},
        {"Insert('<>', URL.ada, 1)", "vvvvv"},
        {"SetVariable(\"v\", '<' & URL.ada & '>')", "LvvvL"},
        {"ListChangeDelims('<a>,<b>', URL.q)", "LLLvLLL"},
        {"ListPrepend('<a>', URL.ada)", "vvvLLLL"},
        {"Replace('<x>', 'x', URL.ada, 'ALL')", "LvvvL"},
        {"REReplace('<x>', 'x', URL.ada)", "vvvvv"},
        {"Replace('<x>', 'x', URL.ada, 'RECURSIVE')", "vvvvv"},
        {"Mid('<' & URL.ada & '>', 1, 2)", "vv"},
        {"Left('<x>' & URL.ada, 2)", "vv"},
        {"QuotedValueList(q.name)", "LvLLLvvvvvvL"},
        {"Evaluate(URL.chr)", "v"},
        {"Evaluate(\"UCase('\" & URL.ada & \"')\")", "vvv"},
        {"Evaluate(\"\" & URL.ada & \"('x')\")", "<error>"},
    };
    for (const auto& c : cases) {
        CTracedText value;
        const std::string text = c.expression;
        const exprtest::Failure f = exprtest::Catch(
            [&] { exprtest::Driver().EvaluateToTracedText(&runtime, CTracedView::Literal(text), value, -1); });
        EXPECT_EQ(f.thrown ? "<error>" : Marks(value), c.marks) << c.expression << " = " << value.Text();
    }
}

// A text evaluated again (Evaluate of a request field) keeps the origin of the characters it
// is written with: a function or special function a value names gives a value.
TEST(SqlOrigin, CallsAValueWritesAreTheValues) {
    QueryRuntime runtime = Request(1);
    runtime.variables["URL.call"] = "GetTemplatePath()";
    runtime.variables["URL.name"] = "PreserveSingleQuotes";
    runtime.variables["URL.list"] = "QuotedValueList(q.name)";
    runtime.variables["URL.path"] = "'/t/page.tsm'";
    EXPECT_EQ(Evaluated(runtime, "\"'\" & Evaluate(URL.call) & \"'\""), "'/t/page.tsm'");
    EXPECT_EQ(Evaluated(runtime, "Evaluate(URL.name & \"(URL.a)\")"), "O''Neil");
    EXPECT_EQ(Evaluated(runtime, "Evaluate(URL.list)"), "''a'',''O''Neil''");
    EXPECT_EQ(Evaluated(runtime, "Evaluate(URL.path)"), "/t/page.tsm");
}

}  // namespace
