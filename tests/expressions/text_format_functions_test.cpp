// The text-transform and column-list functions, YesNoFormat and ParameterExists through
// the evaluator, and their errors with code and exact text.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <vector>

#include "engine/expressions/functions/text_transforms.h"
#include "tests/expressions/function_test_support.h"

namespace {

using exprtest::CallFailure;
using exprtest::CallText;
using exprtest::Eval;
using exprtest::FakeRuntime;
using exprtest::TextCase;

// A query result held in memory: column names and rows of cells.
class MemoryQuery : public CExpressionQuery {
public:
    MemoryQuery(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows)
        : m_columns(std::move(columns)), m_rows(std::move(rows)) {}
    int GetRowCount() override { return static_cast<int>(m_rows.size()); }
    int FindColumn(const std::string& name) override {
        for (std::size_t i = 0; i < m_columns.size(); ++i)
            if (EqualsNoCase(m_columns[i], name)) return static_cast<int>(i + 1);
        return -1;
    }
    std::string GetCell(int row, int column) override {
        return m_rows.at(static_cast<std::size_t>(row - 1)).at(static_cast<std::size_t>(column - 1));
    }

    static bool EqualsNoCase(const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }

private:
    std::vector<std::string> m_columns;
    std::vector<std::vector<std::string>> m_rows;
};

// Variables as the fake runtime keeps them, and queries by name (case ignored).
class QueryRuntime : public FakeRuntime {
public:
    QueryRuntime() {
        queries.emplace("PEOPLE", MemoryQuery({"id", "Name"}, {{"1", "a"}, {"2", "b"}, {"3", "O'Brien"}}));
        queries.emplace("GAPS", MemoryQuery({"v"}, {{"a"}, {""}, {"c"}}));
        queries.emplace("NONE", MemoryQuery({"v"}, {}));
        variables = {{"crlf", "a\r\nb"},     {"para", "a\r\n\r\nb"}, {"lflf", "a\n\nb"},
                     {"html", "\"&<>\r\n'"}, {"e233", "\xE9"},       {"known", "1"}};
    }
    CExpressionQuery* FindQuery(const std::string& name) override {
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto it = queries.find(upper);
        return it == queries.end() ? nullptr : &it->second;
    }
    std::map<std::string, MemoryQuery> queries;
};

class TextFormatValues : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextFormatValues, Evaluate) {
    QueryRuntime runtime;
    EXPECT_EQ(Eval(GetParam().expression, &runtime), GetParam().expected) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextFormatValues,
    ::testing::Values(
        TextCase{"ParagraphFormat('')", " <P>"}, TextCase{"ParagraphFormat(crlf)", "a b <P>"},
        TextCase{"ParagraphFormat(para)", "a <P>\nb <P>"}, TextCase{"ParagraphFormat(lflf)", "a  b <P>"},
        TextCase{"HTMLEditFormat('a&b')", "a&amp;b"}, TextCase{"HTMLEditFormat(html)", "&quot;&amp;&lt;&gt;\n'"},
        TextCase{"HTMLCodeFormat('a<b')", "<PRE>a&lt;b</PRE>"}, TextCase{"HTMLCodeFormat('')", "<PRE></PRE>"},
        TextCase{"URLEncodedFormat('a b&c')", "a+b%26c"}, TextCase{"URLEncodedFormat('a-b.c_d')", "a%2Db%2Ec%5Fd"},
        TextCase{"URLEncodedFormat(' /-*')", "+%2F%2D%2A"}, TextCase{"URLEncodedFormat(e233)", "%E9"},
        TextCase{"URLEncodedFormat('AZaz09')", "AZaz09"}, TextCase{"StripCR(para)", "a\n\nb"},
        TextCase{"StripCR('abc')", "abc"}, TextCase{"YesNoFormat('')", "No"}, TextCase{"YesNoFormat(1)", "Yes"},
        TextCase{"YesNoFormat('true')", "Yes"}, TextCase{"YesNoFormat(0)", "No"}, TextCase{"YesNoFormat('no')", "No"},
        TextCase{"YesNoFormat(1 LT 2)", "Yes"},
        // Query and column names match without regard to case.
        TextCase{"ValueList(people.name)", "a,b,O'Brien"},
        TextCase{"QuotedValueList(People.NAME)", "'a','b','O''Brien'"}, TextCase{"ValueList(gaps.v)", "a,,c"},
        TextCase{"QuotedValueList(gaps.v)", "'a','','c'"}, TextCase{"ValueList(none.v)", ""},
        TextCase{"QuotedValueList(none.v)", ""}, TextCase{"ValueList(people.id)", "1,2,3"},
        TextCase{"ParameterExists(known)", "YES"}, TextCase{"ParameterExists(unknown)", "NO"},
        TextCase{"ParameterExists(Form.X)", "NO"}));

struct ColumnError {
    const char* function;
    const char* argument;
    const char* words;
};

class ColumnListErrors : public ::testing::TestWithParam<ColumnError> {};

TEST_P(ColumnListErrors, CheckedInOrderWithExactText) {
    QueryRuntime runtime;
    const ColumnError& c = GetParam();
    const auto f = CallFailure(c.function, {c.argument}, &runtime);
    ASSERT_TRUE(f.thrown);
    EXPECT_EQ(f.code, 0x400Au);
    EXPECT_EQ(f.text, std::string("Parameter 1 of function ") + c.function + " which is now \"" + c.argument +
                          "\" must be " + c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ColumnListErrors,
    ::testing::Values(ColumnError{"ValueList", "nodot", "a fully qualified column name of the form Query.ColumnName"},
                      ColumnError{"QuotedValueList", ".col",
                                  "a fully qualified column name of the form Query.ColumnName"},
                      ColumnError{"ValueList", "nosuch.col", "pointing to a valid query name"},
                      ColumnError{"ValueList", "people.nosuch", "pointing to a valid column name"},
                      ColumnError{"QuotedValueList", "people.", "pointing to a valid column name"},
                      ColumnError{"ValueList", "people.name.x", "pointing to a valid column name"}));

TEST(TextFormatFunctions, YesNoFormatOfANonBoolean) {
    const auto f = CallFailure("YesNoFormat", {"maybe"});
    EXPECT_EQ(f.code, 0x400Au);
    EXPECT_EQ(f.text, "Parameter 1 of function YesNoFormat which is now \"maybe\" must be a boolean");
}

TEST(TextFormatFunctions, ParameterExistsPassesOtherFailuresOnAfterALogLine) {
    class Failing : public FakeRuntime {
    public:
        void LookupVariable(const std::string&, int, std::string&, int) override {
            throw CRuntimeInterfaceException("broken", "store");
        }
    } runtime;
    exprtest::LogCapture log;
    EXPECT_THROW(CallText("ParameterExists", {"x"}, &runtime), CRuntimeInterfaceException);
    ASSERT_FALSE(exprtest::LogCapture::Lines().empty());
    EXPECT_EQ(exprtest::LogCapture::Lines().back(),
              std::make_pair(std::string("CFuncParameterExists::DoIt"), std::string("unknown")));
}

TEST(TextFormatFunctions, ParameterExistsAsksForTheNameWithTheRaiseFlag) {
    class Recording : public FakeRuntime {
    public:
        void LookupVariable(const std::string& name, int row, std::string& value, int mustExist) override {
            seen = name;
            seenRow = row;
            seenFlag = mustExist;
            value = "v";
        }
        std::string seen;
        int seenRow = 0;
        int seenFlag = 0;
    } runtime;
    EXPECT_EQ(CallText("ParameterExists", {"Form.X"}, &runtime), "YES");
    EXPECT_EQ(runtime.seen, "Form.X");
    EXPECT_EQ(runtime.seenRow, -1);
    EXPECT_EQ(runtime.seenFlag, 1);
}

// Long texts: unchanged runs are copied whole and the output grows past its first 1 KB.
TEST(TextTransforms, LongTextsKeepEveryByte) {
    std::string text;
    for (int i = 0; i < 500; ++i) text += "ab <&\r\n";
    std::string out;
    CHTMLEditTransform().Transform(out, text);
    std::string expected;
    for (int i = 0; i < 500; ++i) expected += "ab &lt;&amp;\n";
    EXPECT_EQ(out, expected);
    CURLEncodedTransform().Transform(out, std::string(3000, 'x') + " ");
    EXPECT_EQ(out, std::string(3000, 'x') + "+");
}

}  // namespace
