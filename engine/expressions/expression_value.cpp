#include "engine/expressions/expression_value.h"

#include "engine/expressions/ascii_text.h"
#include "engine/expressions/date_value.h"
#include "engine/expressions/expression_exception.h"
#include "engine/expressions/expression_log.h"
#include "engine/expressions/numeric_text.h"

using namespace expr_type;

void ThrowConversionError(std::uint32_t code, const char* source, const char* typeName) {
    ThrowExpressionError(code,
                         CWebMessage("Cannot convert ") + std::string(source ? source : "") + " to " +
                             std::string(typeName ? typeName : "") +
                             ".<P>Please, check the Tessaro manual for the allowed conversions between data types "
                             "(see docs/templates.md, section \"Operators\")");
}

void ExprYaccStackElement::CheckTypes() const {
    if (inType == 0)
        ThrowLoggedExpressionError("ExprYaccStackElement::CheckTypes", "no inType in stack element",
                                   expr_code::kNoInType, "Stack element has no in type");
}

void ExprYaccStackElement::ThrowInvalidOutType(const char* source) const {
    ThrowLoggedExpressionError(source, FormatExpressionText("Invalid outType detected: %u", outType),
                               expr_code::kInvalidOutType, "Invalid out type");
}

void ExprYaccStackElement::ClearString() {
    m_text.ReplaceText(std::string());
    m_hasText = false;
}

void ExprYaccStackElement::Reset() {
    ClearString();
    inType = outType = 0;
    boolean = 0;
    integer = 0;
    real = 0.0;
    m_text = CTracedText();
}

void ExprYaccStackElement::SetString(const char* text) {
    m_text.ReplaceText(text != nullptr ? std::string(text) : std::string());
    m_hasText = true;
}

void ExprYaccStackElement::SetString(const std::string& text) {
    m_text.ReplaceText(text);
    m_hasText = true;
}

void ExprYaccStackElement::SetString(std::string&& text) {
    m_text.ReplaceText(std::move(text));
    m_hasText = true;
}

void ExprYaccStackElement::SetBoolean(bool value) {
    boolean = value ? 1 : 0;
    inType = outType = kBoolean;
}

void ExprYaccStackElement::SetInteger(std::int32_t value) {
    integer = value;
    inType = outType = kInteger;
}

void ExprYaccStackElement::SetReal(double value) {
    real = value;
    inType = outType = kReal;
}

void ExprYaccStackElement::SetDate(double value) {
    real = value;
    inType = outType = kDate;
}

void ExprYaccStackElement::SetText(std::string text) {
    SetString(std::move(text));
    inType = outType = kString;
}

bool ExprYaccStackElement::IsNumericString(double& value) {
    if (!(outType & kString)) return false;
    double number = 0;
    if (!ParseDecimalText(m_text.Text().c_str(), number)) return false;
    real = number;
    outType |= kReal;
    value = number;
    return true;
}

bool ExprYaccStackElement::IsBooleanString(std::int32_t& value) {
    if (!m_hasText) return false;
    std::int16_t found;
    const std::string& text = m_text.Text();
    if (EqualsNoCaseAscii(text, "TRUE") || EqualsNoCaseAscii(text, "YES"))
        found = 1;
    else if (EqualsNoCaseAscii(text, "FALSE") || EqualsNoCaseAscii(text, "NO"))
        found = 0;
    else
        return false;
    boolean = found;
    outType |= kBoolean;
    value = found;
    return true;
}

bool ExprYaccStackElement::IsDateString() {
    std::string inner;
    const std::string& text = m_text.Text();
    const std::size_t n = text.size();
    if (n != 0 && text[0] == '{') {
        const char kind = n > 1 ? static_cast<char>(text[1] | 0x20) : '\0';
        const char next = n > 2 ? static_cast<char>(text[2] | 0x20) : '\0';
        if (kind == 'd' && n >= 6)
            inner = text.substr(4, n - 6);
        else if (kind == 't' && next == 's' && n >= 7)
            inner = text.substr(5, n - 7);
        else if (kind == 't' && n >= 6)
            inner = text.substr(4, n - 6);
    } else {
        inner = text;
    }
    double value = 0;
    bool yearFromClock = false;
    if (!ParseDateValue(inner.c_str(), value, &yearFromClock)) return false;
    real = value;
    outType |= kDate | kReal;
    // The clock, not the text, decided the year: what is computed from the date is as a
    // value's (the text's own characters keep their origin).
    if (yearFromClock) MarkDecidedByValue();
    return true;
}

const std::string& ExprYaccStackElement::AsStdString() {
    CheckTypes();
    if (outType & kString) {
        if (!m_hasText) SetString("");
    } else if (outType & kDate) {
        SetString(FormatODBCTimestamp(real));
    } else if (outType & kReal) {
        SetString(FormatReal(real));
    } else if (outType & kInteger) {
        SetString(FormatInteger(integer));
    } else if (outType & kBoolean) {
        SetString(boolean ? "YES" : "NO");
    } else {
        ThrowInvalidOutType("ExprYaccStackElement::AsString");
    }
    outType |= kString;
    return m_text.Text();
}

const char* ExprYaccStackElement::AsString() {
    return AsStdString().c_str();
}

std::string ExprYaccStackElement::TakeString() {
    AsStdString();
    std::string text = m_text.TakeText();
    m_hasText = false;
    inType = outType = 0;
    return text;
}

void ExprYaccStackElement::SetTracedText(CTracedText&& text) {
    m_text = std::move(text);
    // A finished text: what is appended to it later keeps its own origin.
    m_text.EndValueRun();
    m_hasText = true;
    inType = outType = kString;
}

CTracedText ExprYaccStackElement::TakeTraced() {
    AsStdString();
    CTracedText taken = std::move(m_text);
    m_text = CTracedText();
    m_hasText = false;
    inType = outType = 0;
    return taken;
}

std::int32_t ExprYaccStackElement::IntegerFromText() {
    double number;
    std::int32_t word;
    if (IsNumericString(number)) return TruncateToInt32(number);
    if (outType & kBoolean) return boolean;
    if (IsBooleanString(word)) return word;
    if (IsDateString()) return TruncateToInt32(real);
    ThrowConversionError(expr_code::kToInteger, m_text.Text().c_str(), "integer");
}

std::int32_t ExprYaccStackElement::AsInt() {
    CheckTypes();
    std::int32_t value;
    if (outType & kInteger)
        value = integer;
    else if (outType & (kReal | kDate))
        value = TruncateToInt32(real);
    else if (outType & kString)
        value = IntegerFromText();
    else if (outType & kBoolean)
        value = boolean;
    else
        ThrowInvalidOutType("ExprYaccStackElement::AsInt");
    integer = value;
    outType |= kInteger;
    return value;
}

std::int16_t ExprYaccStackElement::BooleanFromText() {
    std::int32_t word;
    double number;
    if (IsBooleanString(word)) return static_cast<std::int16_t>(word);
    if (IsNumericString(number)) return number != 0 ? 1 : 0;
    ThrowConversionError(expr_code::kToBoolean, m_text.Text().c_str(), "boolean");
}

std::int16_t ExprYaccStackElement::AsBool() {
    CheckTypes();
    std::int16_t value;
    if (outType & kBoolean)
        value = boolean;
    else if (outType & kInteger)
        value = integer != 0 ? 1 : 0;
    else if (outType & kReal)
        value = real != 0 ? 1 : 0;
    else if (outType & kString)
        value = BooleanFromText();
    else if (outType & kDate)
        ThrowExpressionError(expr_code::kToBoolean, "Cannot convert a date to a boolean");
    else
        ThrowInvalidOutType("ExprYaccStackElement::AsBool");
    boolean = value;
    outType |= kBoolean;
    return value;
}

double ExprYaccStackElement::AsReal() {
    CheckTypes();
    double value;
    if (TryAsReal(value)) return value;
    if (outType & kString) ThrowConversionError(expr_code::kToReal, m_text.Text().c_str(), "real");
    ThrowInvalidOutType("ExprYaccStackElement::AsReal");
}

bool ExprYaccStackElement::TryAsReal(double& value) {
    if (inType == 0) return false;
    if (outType & (kReal | kDate)) {
        value = real;
    } else if (outType & kString) {
        double number;
        std::int32_t word;
        if (IsNumericString(number))
            value = number;
        else if (outType & kInteger)
            value = integer;
        else if (outType & kBoolean)
            value = boolean;
        else if (IsBooleanString(word))
            value = word;
        else if (IsDateString())
            value = real;
        else
            return false;
    } else if (outType & kInteger) {
        value = integer;
    } else if (outType & kBoolean) {
        value = boolean;
    } else {
        return false;
    }
    real = value;
    outType |= kReal;
    return true;
}

double ExprYaccStackElement::DateFromText() {
    double number;
    if (IsNumericString(number)) return number;
    if (IsDateString()) return real;
    ThrowConversionError(expr_code::kToDate, m_text.Text().c_str(), "date");
}

double ExprYaccStackElement::AsDate() {
    CheckTypes();
    double value;
    if (outType & (kReal | kDate))
        value = real;
    else if ((outType & kString) && !(outType & (kBoolean | kInteger)))
        value = DateFromText();
    else if (outType & kInteger)
        value = integer;
    else if (outType & kBoolean)
        ThrowConversionError(expr_code::kToDate, "boolean", "date");
    else
        ThrowInvalidOutType("ExprYaccStackElement::AsDate");
    real = value;
    outType |= kDate;
    return value;
}

void CopyValue(ExprYaccStackElement& source, ExprYaccStackElement& target) {
    if (&source == &target) return;
    const std::uint32_t forms = source.outType;
    // A string without its text yet gets it first: the text and its origin go together.
    if (forms & kString) source.AsStdString();
    target.m_text = source.m_text;
    target.m_hasText = source.m_hasText && (forms & kString) != 0;
    target.inType = source.inType;
    target.outType = forms;
    target.boolean = source.boolean;
    target.integer = source.integer;
    target.real = source.real;
}

void ConcatenateTexts(ExprYaccStackElement& left, ExprYaccStackElement& right, ExprYaccStackElement& result,
                      bool takeLeft, bool traceOrigins) {
    const std::string& leftText = left.AsStdString();
    const std::string& rightText = right.AsStdString();
    const CTextOrigin& first = left.Origin();
    const CTextOrigin& second = right.Origin();
    const bool uniform = !first.IsMixed() && !second.IsMixed() && first.AllValue() == second.AllValue();
    if (traceOrigins && !uniform) {
        CTracedText text = takeLeft ? left.TakeTraced() : CTracedText::Slice(left.Traced());
        text.Append(right.Traced());
        result.SetTracedText(std::move(text));
        return;
    }
    const bool valueCharacters = !uniform || first.AllValue();
    const bool fromValue = first.FromValue() || second.FromValue();
    std::string text = takeLeft ? left.TakeString() : leftText;
    text += rightText;
    CTracedText joined = CTracedText::Literal(std::move(text));
    joined.SetUniformOrigin(valueCharacters, fromValue);
    result.SetTracedText(std::move(joined));
}
