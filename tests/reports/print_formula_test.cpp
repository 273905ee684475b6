// The print engine's formula language: values, operators, and the error numbers of texts that
// do not parse or name what the report does not have.
#include <gtest/gtest.h>

#include "printengine/formula.h"
#include "interfaces/print_api.h"

using namespace tessaro::print;

namespace {

class RowOf : public FormulaRow {
public:
    explicit RowOf(std::vector<Value> columns) : m_columns(std::move(columns)) {}
    Value Column(int index) const override { return m_columns.at(size_t(index)); }
    Value NamedFormula(const std::string& name, int depth) const override {
        if (name == "double") return Evaluate(m_double, *this, depth);
        return Evaluate(m_self, *this, depth);
    }
    Formula m_double, m_self;

private:
    std::vector<Value> m_columns;
};

FormulaNames Names() {
    return {[](const std::string& f) {
                if (f == "staff.id" || f == "id") return 0;
                if (f == "staff.name" || f == "name") return 1;
                return -1;
            },
            [](const std::string& n) { return n == "double" || n == "self"; }};
}

Value Number(double n, std::string text) {
    Value v = Value::OfNumber(n);
    v.text = std::move(text);
    return v;
}

std::string EvaluateText(const std::string& text) {
    RowOf row({Number(3, "3"), Value::OfText("Ann")});
    row.m_double = ParseFormula("{id} * 2", Names());
    return ValueText(Evaluate(ParseFormula(text, Names()), row));
}

TEST(PrintFormula, EvaluatesTheLanguageOverARow) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 + 2 * 3", "7"},
        {"(1 + 2) * 3", "9"},
        {"7 / 2", "3.5"},
        {"-{id} + 1", "-2"},
        {"{staff.id} <= 3", "True"},
        {"{id} > 3", "False"},
        {"{name} = 'Ann'", "True"},
        {"{name} <> \"Ann\"", "False"},
        {"{name} & ' #' & {id}", "Ann #3"},
        {"'a' + 'b'", "ab"},
        {"{@double} + 1", "7"},
        {"not ({id} = 3) or {name} < 'B'", "True"},
        {"{id} = 3 AND {name} = 'Bob'", "False"},
        {"'it''s'", "it's"},
        {"{id}", "3"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(EvaluateText(text), expected) << text;
}

TEST(PrintFormula, BlankTextIsNoFormulaAndSelectsEveryRow) {
    EXPECT_EQ(ParseFormula("  ", Names()), nullptr);
    RowOf row({});
    EXPECT_TRUE(IsTrue(Evaluate(nullptr, row)));
}

TEST(PrintFormula, FailuresCarryTheEngineNumbers) {
    const std::pair<const char*, short> cases[] = {
        {"1 +", kErrFormulaSyntax},
        {"(1", kErrFormulaSyntax},
        {"'open", kErrFormulaSyntax},
        {"{id", kErrFormulaSyntax},
        {"1 2", kErrFormulaSyntax},
        {"system('rm')", kErrFormulaSyntax},
        {"{id}; drop table staff", kErrFormulaSyntax},
        {"{staff.salary} > 1", kErrUnknownField},
        {"{other.id} > 1", kErrUnknownField},
        {"{@missing}", kErrUnknownField},
    };
    for (const auto& [text, number] : cases) {
        try {
            ParseFormula(text, Names());
            ADD_FAILURE() << text << " parsed";
        } catch (const FormulaError& e) {
            EXPECT_EQ(e.Number(), number) << text;
        }
    }
}

TEST(PrintFormula, RunTimeFailuresEndInsteadOfLooping) {
    RowOf row({Number(3, "3"), Value::OfText("Ann")});
    row.m_self = ParseFormula("{@self} + 1", Names());
    for (const char* text : {"{@self}", "1 / ({id} - 3)", "{name} * 2"}) {
        try {
            Evaluate(ParseFormula(text, Names()), row);
            ADD_FAILURE() << text;
        } catch (const FormulaError& e) {
            EXPECT_EQ(e.Number(), kErrFormulaRun) << text;
        }
    }
}

TEST(PrintFormula, ComparesNumbersByValueAndTextsByBytes) {
    EXPECT_LT(CompareValues(Number(9, "9"), Number(10, "10")), 0);
    EXPECT_LT(CompareValues(Value::OfText("10"), Value::OfText("9")), 0);
    EXPECT_EQ(CompareValues(Value::OfText("3"), Value::OfNumber(3)), 0);
    EXPECT_GT(CompareValues(Value::OfText("b"), Value::OfText("a")), 0);
}

}  // namespace
