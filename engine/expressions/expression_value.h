// ExprYaccStackElement: the one value type of the expression language. A value is
// produced in one type (inType) and converted lazily into others; each conversion caches
// its result, so outType is the set of forms held. Bits: 1 boolean, 2 integer, 4 real,
// 8 string, 16 date (a date lives in the real field as days since 30 December 1899).
#pragma once

#include <cstdint>
#include <string>

#include "engine/expressions/text_origin.h"
#include "engine/parser/ss_yacc.h"

namespace expr_type {
inline constexpr std::uint32_t kBoolean = 1;
inline constexpr std::uint32_t kInteger = 2;
inline constexpr std::uint32_t kReal = 4;
inline constexpr std::uint32_t kString = 8;
inline constexpr std::uint32_t kDate = 16;
}  // namespace expr_type

class ExprYaccStackElement : public SSParseStackEntry {
public:
    ExprYaccStackElement() = default;
    ~ExprYaccStackElement() override = default;

    // Throws 0x8001 (logged) when no value was ever produced.
    void CheckTypes() const;
    void ClearString();
    // No value at all, as a new element (the text's memory is kept).
    void Reset();
    // Type fields are left to the caller. A null text gives the empty text.
    void SetString(const char* text);
    void SetString(const std::string& text);
    void SetString(std::string&& text);

    const char* AsString();
    const std::string& AsStdString();
    // The text form moved out, for a value about to be discarded: the element is left
    // without a value, as if new.
    std::string TakeString();
    std::int32_t AsInt();
    std::int16_t AsBool();
    double AsReal();
    double AsDate();
    // AsReal without raising: false where AsReal would throw (the comparisons try numbers
    // first and fall back to texts on every text, so this path must be cheap).
    bool TryAsReal(double& value);

    // Tests of the held text; each caches what it finds.
    bool IsBooleanString(std::int32_t& value);
    bool IsNumericString(double& value);
    bool IsDateString();

    // Producers: store the value and make it the one held form.
    void SetBoolean(bool value);
    void SetInteger(std::int32_t value);
    void SetReal(double value);
    void SetDate(double value);
    void SetText(std::string text);

    bool HasText() const { return m_hasText; }

    // Where the value's characters came from (text_origin.h): the template's literals or a
    // value. The text form and its origin are one object, so no operation changes one
    // without the other; a value without a text form keeps one origin for the text it
    // will be written as. Copies keep it; producers of a number, boolean, date or plain text
    // leave it as it is, so the caller that ran the operator or function decides (the
    // registry and the operator manager mark a result from a value when an operand was). A
    // text set without its origin loses its per-character marks and counts as from a value
    // throughout.
    const CTextOrigin& Origin() const { return m_text.Origin(); }
    // Every character literal, or every character from a value.
    void SetUniformOrigin(bool fromValue) { m_text.SetUniformOrigin(fromValue, fromValue); }
    bool FromValue() const { return m_text.Origin().FromValue(); }
    void MarkFromValue() {
        m_text.MarkValue();
        m_text.EndValueRun();
    }
    // A value decided this value without giving a character of it (a condition that chose
    // it): what is computed from it is from a value, its characters keep their origin.
    void MarkDecidedByValue() { m_text.MarkDecidedByValue(); }
    // The text form with the origin of its characters (valid until the element changes).
    CTracedView Traced() {
        AsStdString();
        return m_text.View();
    }
    // Producer of a text with the origin of its characters.
    void SetTracedText(CTracedText&& text);
    // The text form and its origin moved out; the element is left without a value.
    CTracedText TakeTraced();

    std::uint32_t inType = 0;
    std::uint32_t outType = 0;
    std::int16_t boolean = 0;
    std::int32_t integer = 0;
    double real = 0.0;

private:
    [[noreturn]] void ThrowInvalidOutType(const char* source) const;
    std::int32_t IntegerFromText();
    std::int16_t BooleanFromText();
    double DateFromText();

    friend void CopyValue(ExprYaccStackElement& source, ExprYaccStackElement& target);

    CTracedText m_text;
    bool m_hasText = false;
};

// "Cannot convert <source> to <type>.<P>Please, check the Tessaro manual ..." (not logged).
[[noreturn]] void ThrowConversionError(std::uint32_t code, const char* source, const char* typeName);

// Copies a value with every form it holds (the evaluation of unary plus).
void CopyValue(ExprYaccStackElement& source, ExprYaccStackElement& target);

// The text of left followed by that of right, as a text result (concatenation; takeLeft:
// left is about to be discarded and gives up its text). With traceOrigins each character
// keeps its origin; without (outside SQL text, where nothing reads the marks) a result of
// mixed parts is from a value throughout, which costs no marks.
void ConcatenateTexts(ExprYaccStackElement& left, ExprYaccStackElement& right, ExprYaccStackElement& result,
                      bool takeLeft, bool traceOrigins);
