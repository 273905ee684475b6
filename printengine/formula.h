// The print engine's formula language: field references {table.field} or {field}, formula
// references {@name}, numbers, 'text' or "text", + - * /, & (joins texts), = <> < > <= >=,
// and/or/not and parentheses. A formula is only ever evaluated over the row in hand: the
// language has no calls, no side effects and nothing that reaches outside the report.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaro::print {

struct Value {
    enum class Kind { Number, Text, Boolean };
    Kind kind = Kind::Text;
    double number = 0;
    std::string text;  // a number read from a row keeps its text as it came
    bool boolean = false;

    static Value OfNumber(double n) {
        Value v;
        v.kind = Kind::Number;
        v.number = n;
        return v;
    }
    static Value OfText(std::string t) {
        Value v;
        v.text = std::move(t);
        return v;
    }
    static Value OfBoolean(bool b) {
        Value v;
        v.kind = Kind::Boolean;
        v.boolean = b;
        return v;
    }
};

// A failure with the print engine's error number (515 syntax, 509 unknown field, 546 run).
class FormulaError : public std::runtime_error {
public:
    FormulaError(short number, const std::string& text) : std::runtime_error(text), m_number(number) {}
    short Number() const { return m_number; }

private:
    short m_number;
};

struct FormulaNode;
using Formula = std::shared_ptr<const FormulaNode>;

// What a formula may name: a field gives its column (or -1 when the report has none), a
// formula name says whether the report defines it. Names arrive as written, without braces.
struct FormulaNames {
    std::function<int(const std::string& field)> column;
    std::function<bool(const std::string& formula)> hasFormula;
};

// What evaluation reads: the row's columns and the report's other formulas.
class FormulaRow {
public:
    virtual ~FormulaRow() = default;
    virtual Value Column(int index) const = 0;
    virtual Value NamedFormula(const std::string& name, int depth) const = 0;
};

// Parses text; blank text gives a null formula. Throws FormulaError.
Formula ParseFormula(const std::string& text, const FormulaNames& names);
// Evaluates over a row; depth counts nested formula references (a cycle ends in an error).
Value Evaluate(const Formula& formula, const FormulaRow& row, int depth = 0);

bool IsTrue(const Value& value);
// Orders two values: numbers by value, texts by bytes, a number against a text that reads
// as a number by value, otherwise by their texts.
int CompareValues(const Value& a, const Value& b);
std::string ValueText(const Value& value);
// A text that reads wholly as a decimal number (blanks around allowed).
bool ReadNumber(const std::string& text, double* number);

inline constexpr int kMaxFormulaDepth = 32;

}  // namespace tessaro::print
