// Values in a report's selection and formulas: each stays a value of the formula language
// wherever the template puts it, checked by the print engine's own parser over rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printengine/formula.h"
#include "reports/formula_quoting.h"

using tessaro::reports::FormulaPiece;
using tessaro::reports::FormulaTextLiteral;
using tessaro::reports::IsFormulaTextLiteral;
using tessaro::reports::QuoteFormulaValues;

namespace {

// "{dept} = '" + value + "'" as pieces: the template's text and one value between.
std::string Around(const std::string& before, const std::string& value, const std::string& after) {
    return QuoteFormulaValues({{before, false}, {value, true}, {after, false}});
}

TEST(FormulaQuoting, TextLiterals) {
    EXPECT_EQ(FormulaTextLiteral("Sales"), "\"Sales\"");
    EXPECT_EQ(FormulaTextLiteral("a\"b'c"), "\"a\"\"b'c\"");
    EXPECT_EQ(FormulaTextLiteral(""), "\"\"");
    const std::pair<const char*, bool> literals[] = {
        {"\"Sales\"", true}, {"'it''s'", true}, {"''", true},     {"\"a\"\"b\"", true}, {"\"a\"b\"", false},
        {"'''", false},      {"'x\"", false},   {"Sales", false}, {"'", false},         {"", false},
    };
    for (const auto& [text, literal] : literals) EXPECT_EQ(IsFormulaTextLiteral(text), literal) << text;
}

TEST(FormulaQuoting, EachValueGoesInByWhereItStands) {
    const struct {
        std::vector<FormulaPiece> pieces;
        const char* formula;
    } cases[] = {
        // Inside a text the template opened: the quote of that text doubled.
        {{{"{dept} = '", false}, {"x' or 'a'='a", true}, {"'", false}}, "{dept} = 'x'' or ''a''=''a'"},
        {{{"{dept} = \"", false}, {"x\" or \"a\"=\"a", true}, {"\"", false}}, "{dept} = \"x\"\" or \"\"a\"\"=\"\"a\""},
        {{{"{dept} = \"", false}, {"O'Neil", true}, {"\"", false}}, "{dept} = \"O'Neil\""},
        // The template's own doubled quote keeps its text open.
        {{{"{n} = 'it''s ", false}, {"a'b", true}, {"'", false}}, "{n} = 'it''s a''b'"},
        {{{"{dept} = '\r\n", false}, {"\r\nx' or 'a'='a\r\n", true}, {"'", false}},
         "{dept} = '\r\n\r\nx'' or ''a''=''a\r\n'"},
        {{{"{dept} = ", false}, {"\r\n' or 'a'='a", true}}, "{dept} = \"\r\n' or 'a'='a\""},
        // Outside: a number as written, anything else a text of its own.
        {{{"{id} <= ", false}, {"3", true}}, "{id} <= 3"},
        {{{"{id} <= ", false}, {"2.5", true}}, "{id} <= 2.5"},
        {{{"{id} >= ", false}, {"-4", true}}, "{id} >= (-4)"},
        {{{"{id} <= ", false}, {"3 or true", true}}, "{id} <= \"3 or true\""},
        {{{"{dept} = ", false}, {"'Lab' or 'a'='a'", true}}, "{dept} = \"'Lab' or 'a'='a'\""},
        {{{"", false}, {"x\" or \"", true}}, "\"x\"\" or \"\"\""},
        // Inside a reference: part of the name, which a value cannot end.
        {{{"{staff.", false}, {"dept} or {staff.id", true}, {"} = 'Lab'", false}}, "{staff.dept or {staff.id} = 'Lab'"},
        // Two values side by side are one; a value's text cannot run on into the template's.
        {{{"{dept} = ", false}, {"La", true}, {"b", true}}, "{dept} = \"Lab\""},
        {{{"\"a\"", false}, {"b", true}}, "\"a\" \"b\""},
        {{{"", false}, {"b", true}, {"\"c\"", false}}, "\"b\" \"c\""},
        // Only the template's text: as written.
        {{{"{dept} = 'Lab' and {id} > 2", false}}, "{dept} = 'Lab' and {id} > 2"},
        {{}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(QuoteFormulaValues(c.pieces), c.formula);
}

// The print engine's parser over three rows: what a selection built with a hostile value picks.
class Staff : public tessaro::print::FormulaRow {
public:
    Staff(std::string name, std::string dept, double id) : m_name(std::move(name)), m_dept(std::move(dept)), m_id(id) {}
    tessaro::print::Value Column(int index) const override {
        if (index == 0) return tessaro::print::Value::OfText(m_name);
        if (index == 1) return tessaro::print::Value::OfText(m_dept);
        tessaro::print::Value id = tessaro::print::Value::OfNumber(m_id);
        id.text = std::to_string(static_cast<int>(m_id));
        return id;
    }
    tessaro::print::Value NamedFormula(const std::string&, int) const override { return {}; }
    const std::string& Name() const { return m_name; }

private:
    std::string m_name, m_dept;
    double m_id;
};

// The names of the rows the selection keeps, "" when it does not parse.
std::string Selected(const std::string& selection) {
    tessaro::print::FormulaNames names{[](const std::string& f) {
                                           if (f == "staff.name") return 0;
                                           if (f == "staff.dept") return 1;
                                           if (f == "staff.id") return 2;
                                           return -1;
                                       },
                                       [](const std::string&) { return false; }};
    const Staff rows[] = {{"Ann", "Sales", 1}, {"Bob", "Lab", 2}, {"Cy", "x' or 'a'='a", 3}};
    try {
        tessaro::print::Formula formula = tessaro::print::ParseFormula(selection, names);
        std::string kept;
        for (const Staff& row : rows)
            if (tessaro::print::IsTrue(tessaro::print::Evaluate(formula, row))) kept += "[" + row.Name() + "]";
        return kept;
    } catch (const tessaro::print::FormulaError& e) {
        return "error " + std::to_string(e.Number());
    }
}

TEST(FormulaQuoting, AHostileValueSelectsOnlyWhatItEquals) {
    const char* const attacks[] = {"x' or 'a'='a", "x\" or \"a\"=\"a", "Lab' or true or 'x", "Lab\" or true or \"x"};
    for (const char* attack : attacks) {
        for (const char* quote : {"'", "\""}) {
            std::string selection = Around(std::string("{staff.dept} = ") + quote, attack, quote);
            std::string expected = std::string(attack) == "x' or 'a'='a" ? "[Cy]" : "";
            EXPECT_EQ(Selected(selection), expected) << selection;
        }
        // Written outside any text, the value is a text of its own.
        std::string bare = Around("{staff.dept} = ", attack, "");
        EXPECT_EQ(Selected(bare), std::string(attack) == "x' or 'a'='a" ? "[Cy]" : "") << bare;
    }
    EXPECT_EQ(Selected(Around("{staff.dept} = '", "Lab", "'")), "[Bob]");
    EXPECT_EQ(Selected(Around("{staff.id} <= ", "2", "")), "[Ann][Bob]");
    EXPECT_EQ(Selected(Around("{staff.id} <= ", "2 or true", "")), "[Ann][Bob]");
    EXPECT_EQ(Selected(Around("{staff.id} > ", "-1", "")), "[Ann][Bob][Cy]");
    // A value cannot end a reference and add a condition: the name it makes is no field.
    EXPECT_EQ(Selected(Around("{staff.", "dept} = 'Lab' or {staff.dept", "} = 'Lab'")), "error 509");
}

}  // namespace
