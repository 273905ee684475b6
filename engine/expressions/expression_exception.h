// The one error type of the expression evaluator: a code and the text shown to the
// author. Made with new and thrown by pointer; whoever catches it and does not throw it
// on deletes it.
#pragma once

#include <cstdint>
#include <string>

#include "support/web_message.h"

// Codes with 0x4000 are faults in the author's expression or data (their text is shown
// as it stands); codes with 0x8000 are faults of the evaluator itself.
namespace expr_code {
inline constexpr std::uint32_t kTextOnly = 0;
inline constexpr std::uint32_t kToInteger = 0x4001;
inline constexpr std::uint32_t kToBoolean = 0x4002;
inline constexpr std::uint32_t kToReal = 0x4003;
inline constexpr std::uint32_t kDivisionByZero = 0x4004;  // also integer overflow of \ and MOD
inline constexpr std::uint32_t kZeroPower = 0x4005;       // also a result past the range of a real
inline constexpr std::uint32_t kInvalidElement = 0x4006;
inline constexpr std::uint32_t kInvalidFormat = 0x4007;  // also unmatched delimiters
inline constexpr std::uint32_t kInvalidFormulation = 0x4008;
inline constexpr std::uint32_t kArgumentCount = 0x4009;
inline constexpr std::uint32_t kArgumentType = 0x400A;
inline constexpr std::uint32_t kLookupFailed = 0x400C;
inline constexpr std::uint32_t kUnknownFunction = 0x400D;
inline constexpr std::uint32_t kExtensionTag = 0x400E;
inline constexpr std::uint32_t kFormatMask = 0x400F;
inline constexpr std::uint32_t kToDate = 0x4011;
inline constexpr std::uint32_t kDateOperation = 0x4012;
inline constexpr std::uint32_t kListPosition = 0x4013;
inline constexpr std::uint32_t kFunctionNotAvailable = 0x4014;
inline constexpr std::uint32_t kNestingTooDeep = 0x4015;
inline constexpr std::uint32_t kNoInType = 0x8001;
inline constexpr std::uint32_t kInvalidOutType = 0x8002;
inline constexpr std::uint32_t kNoUnaryForm = 0x8003;
inline constexpr std::uint32_t kNoBinaryForm = 0x8004;
inline constexpr std::uint32_t kInvalidOperator = 0x8005;
inline constexpr std::uint32_t kNullOperator = 0x8006;
inline constexpr std::uint32_t kParserStackFull = 0x8007;
inline constexpr std::uint32_t kParserError = 0x8008;
inline constexpr std::uint32_t kInvalidComparison = 0x8009;
inline constexpr std::uint32_t kInvalidArgumentType = 0x800B;
inline constexpr std::uint32_t kInvalidSpecialFunction = 0x800C;
inline constexpr std::uint32_t kCannotCreateTables = 0x800D;

inline constexpr std::uint32_t kAuthorClass = 0x4000;
inline constexpr std::uint32_t kInternalClass = 0x8000;
}  // namespace expr_code

class CExpressionException {
public:
    CExpressionException(std::uint32_t code, const CWebMessage& text) : m_text(text.Html()), m_code(code) {}
    explicit CExpressionException(const CWebMessage& text) : m_text(text.Html()), m_code(0) {}
    virtual ~CExpressionException() = default;

    const std::string& GetText() const { return m_text; }
    std::uint32_t GetCode() const { return m_code; }

private:
    std::string m_text;
    std::uint32_t m_code;
};

// Allocates the exception and throws its pointer.
[[noreturn]] void ThrowExpressionError(std::uint32_t code, const CWebMessage& text);
// The same after a line in the expression log (source = the reporting operation).
[[noreturn]] void ThrowLoggedExpressionError(const char* source, const std::string& logText, std::uint32_t code,
                                             const CWebMessage& text);

// printf-style formatting into a std::string, for the expression log.
std::string FormatExpressionText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for the message an author sees: the format is the message's markup, and every %s
// argument is a value, escaped.
CWebMessage FormatExpressionMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
