#include "engine/expressions/function_registry.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "engine/expressions/ascii_text.h"
#include "engine/expressions/date_helpers.h"
#include "engine/expressions/expression_exception.h"
#include "engine/expressions/expression_log.h"

namespace {

constexpr const char* kWords[] = {
    "",
    "a boolean",
    "",
    "an integer",
    "a real number",
    "a positive real number",
    "a non-negative real number",
    "an integer in the range 0 to 31 inclusive",
    "a non-negative integer",
    "a positive integer",
    "a date/time value",
    "a valid date/time part specifier",
    "a syntactically valid variable name",
    "an integer in the range 2 to 36 inclusive",
    "a day of the week (an integer in the range 1 to 7 inclusive)",
    "a month number (an integer in the range 1 to 12 inclusive)",
    "a relative path. Relative paths cannot be empty strings. Relative paths cannot start with a forward "
    "slash (/), backslash (\\), or a drive name, e.g., \"C:\".",
};

// The argument as a 32-bit integer, or false when the number it stands for does not fit
// (4294967297 would otherwise count as 1, a NaN as 0).
bool FitsInt(ExprYaccStackElement* a, std::int32_t& value) {
    value = a->AsInt();
    double wide = value;
    if (a->outType & (expr_type::kReal | expr_type::kDate))
        wide = a->real;
    else if (a->outType & expr_type::kString)
        static_cast<void>(a->IsNumericString(wide));
    wide = std::trunc(wide);
    return wide >= std::numeric_limits<std::int32_t>::min() && wide <= std::numeric_limits<std::int32_t>::max();
}

bool IsIntegerCode(unsigned code) {
    using namespace arg_type;
    return code == kInteger || code == kBitIndex || code == kNonNegativeInteger || code == kPositiveInteger ||
           code == kRadix || code == kDayOfWeek || code == kMonth;
}

bool IntOutside(ExprYaccStackElement* a, std::int32_t low, std::int32_t high) {
    std::int32_t v = 0;
    if (!FitsInt(a, v)) return true;
    return v < low || v > high;
}

// True when the argument fails its code; conversions throw their own errors.
bool Fails(unsigned code, ExprYaccStackElement* a) {
    using namespace arg_type;
    switch (code) {
        case kAny:
            return false;
        case kBoolean:
            a->AsBool();
            return false;
        case kString:
            a->AsString();
            return false;
        case kInteger:
            return IntOutside(a, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
        case kReal:
            a->AsReal();
            return false;
        case kPositiveReal:
            return !(a->AsReal() > 0);
        case kNonNegativeReal:
            return !(a->AsReal() >= 0);
        case kBitIndex:
            return IntOutside(a, 0, 31);
        case kNonNegativeInteger:
            return IntOutside(a, 0, std::numeric_limits<std::int32_t>::max());
        case kPositiveInteger:
            return IntOutside(a, 1, std::numeric_limits<std::int32_t>::max());
        case kDate:
            a->AsDate();
            return false;
        case kDatePart:
            return !IsDatePartSpecifier(a->AsString());
        case kVariableName:
            return !IsValidVariableName(a->AsString());
        case kRadix:
            return IntOutside(a, 2, 36);
        case kDayOfWeek:
            return IntOutside(a, 1, 7);
        case kMonth:
            return IntOutside(a, 1, 12);
        case kRelativePath: {
            const std::string& path = a->AsStdString();
            return path.empty() || path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':');
        }
        default:
            return true;
    }
}

bool AnyFromValue(const CExprArgumentList* arguments) {
    for (std::size_t i = 0; arguments != nullptr && i < arguments->size(); ++i)
        if ((*arguments)[i]->FromValue()) return true;
    return false;
}

}  // namespace

void CTSFunction::Initialize(const char* name, int count, std::uint32_t types, FunctionAnswer answer) {
    m_name = name ? name : "";
    m_count = count;
    m_types = types;
    m_answer = answer;
    for (unsigned i = 0; i < 4 && types != 0; ++i) {
        const unsigned code = (types >> (8 * i)) & 0xFF;
        if (code > arg_type::kHighest)
            ThrowLoggedExpressionError("CTSFunction::Initialize",
                                       FormatExpressionText("Invalid argument type %u", code),
                                       expr_code::kInvalidArgumentType, "Invalid argument type");
    }
}

void CTSFunction::CheckArgs(CExprArgumentList* arguments) const {
    const std::size_t given = arguments ? arguments->size() : 0;
    const bool accepted = m_count >= 0 ? given == static_cast<std::size_t>(m_count)
                                       : given >= static_cast<std::size_t>(-static_cast<long long>(m_count));
    if (!accepted) {
        CWebMessage text;
        if (m_count > 0)
            text = FormatExpressionMessage("The function %s takes  %u arguments(s)", m_name.c_str(),
                                           static_cast<unsigned>(m_count));
        else if (m_count == 0)
            text = FormatExpressionMessage("The function %s takes no arguments", m_name.c_str());
        else
            text = FormatExpressionMessage("The function %s takes at least %u arguments(s)", m_name.c_str(),
                                           static_cast<unsigned>(-static_cast<long long>(m_count)));
        ThrowExpressionError(expr_code::kArgumentCount, text);
    }
    for (std::size_t i = 0; i < given && i < 4; ++i) CheckArg(static_cast<unsigned>(i + 1), (*arguments)[i]);
}

void CTSFunction::CheckArg(unsigned position, ExprYaccStackElement* argument) const {
    if (position < 1 || position > 4 || argument == nullptr) return;
    const unsigned code = (m_types >> (8 * (position - 1))) & 0xFF;
    if (code > arg_type::kHighest)
        ThrowLoggedExpressionError("CTSFunction::CheckArg", FormatExpressionText("Invalid argument type %u", code),
                                   expr_code::kInvalidArgumentType, "Invalid argument type");
    const char* words = kWords[code];
    bool failed;
    try {
        failed = Fails(code, argument);
        // An integer code met by an infinite or undefined number: say what is wrong with it.
        if (failed && IsIntegerCode(code) && (argument->outType & (expr_type::kReal | expr_type::kDate)) &&
            !std::isfinite(argument->real))
            words = "a finite number";
    } catch (CExpressionException* e) {
        switch (e->GetCode()) {
            case expr_code::kToInteger:
                words = kWords[arg_type::kInteger];
                break;
            case expr_code::kToBoolean:
                words = kWords[arg_type::kBoolean];
                break;
            case expr_code::kToReal:
                words = kWords[arg_type::kReal];
                break;
            case expr_code::kToDate:
                words = kWords[arg_type::kDate];
                break;
            default:
                throw;
        }
        delete e;
        failed = true;
    }
    if (!failed) return;
    ThrowExpressionError(expr_code::kArgumentType,
                         FormatExpressionMessage("Parameter %u of function %s which is now \"%s\" must be ", position,
                                                 m_name.c_str(), argument->AsStdString().c_str()) +
                             CWebMessage::FromHtml(words));
}

void CUnavailableFunction::DoIt(CRuntimeInterface*, CExprArgumentList*, ExprYaccStackElement*) {
    ThrowExpressionError(expr_code::kFunctionNotAvailable,
                         CWebMessage("The function ") + GetName() + " is not available in this version of Tessaro");
}

std::size_t FunctionNameHash::operator()(std::string_view name) const {
    std::size_t h = 1469598103934665603ull;
    for (char c : name) h = (h ^ static_cast<unsigned char>(AsciiUpper(c))) * 1099511628211ull;
    return h;
}

bool FunctionNameEqual::operator()(std::string_view a, std::string_view b) const {
    return EqualsNoCaseAscii(a, b);
}

void CFunctionRegistry::RegisterFunction(std::unique_ptr<CTSFunction> function) {
    if (!function) return;
    std::string key = function->GetName();
    for (char& c : key) c = AsciiUpper(c);
    m_functions.insert_or_assign(std::move(key), std::move(function));
}

void CFunctionRegistry::RegisterBuiltin(std::unique_ptr<CTSFunction> function) {
    if (!function) return;
    if (Lookup(function->GetName()) != nullptr)
        throw std::logic_error("the built-in function " + function->GetName() + " is registered twice");
    RegisterFunction(std::move(function));
}

CTSFunction* CFunctionRegistry::Lookup(std::string_view name) const {
    const auto it = m_functions.find(name);
    return it == m_functions.end() ? nullptr : it->second.get();
}

void CFunctionRegistry::FindFunction(CRuntimeInterface* runtime, const char* name, CExprArgumentList* arguments,
                                     ExprYaccStackElement* result) const {
    const char* written = name ? name : "";
    CTSFunction* function = Lookup(written);
    if (function == nullptr)
        ThrowExpressionError(expr_code::kUnknownFunction,
                             FormatExpressionMessage("There is no Tessaro function named %s. Check the spelling of the "
                                                     "function name in the Tessaro documentation",
                                                     written));
    function->CheckArgs(arguments);
    // What a function computes from a value is from a value. A function that only moves
    // characters replaces this with the origin of each (SetTracedText).
    const FunctionAnswer answer = function->GetAnswer();
    const bool fromArguments = AnyFromValue(arguments);
    result->SetUniformOrigin(answer != FunctionAnswer::kArguments || fromArguments);
    function->DoIt(runtime, arguments, result);
    switch (answer) {
        case FunctionAnswer::kRequestState:
            result->MarkFromValue();
            break;
        case FunctionAnswer::kQueryCells:
            result->MarkDecidedByValue();
            break;
        case FunctionAnswer::kArguments:
            // An argument read as a date that names no year took the clock's: known once read.
            if (!fromArguments && AnyFromValue(arguments)) result->MarkFromValue();
            break;
    }
}

std::unique_ptr<CFunctionRegistry> BuildFunctionRegistry() {
    std::size_t count = 0;
    const FunctionTableRow* rows = BuiltinFunctionTable(count);
    return BuildFunctionRegistry(std::span<const FunctionTableRow>(rows, count));
}

std::unique_ptr<CFunctionRegistry> BuildFunctionRegistry(std::span<const FunctionTableRow> rows) {
    auto registry = std::make_unique<CFunctionRegistry>();
    for (const FunctionTableRow& row : rows) {
        std::unique_ptr<CTSFunction> function = row.make ? row.make() : std::make_unique<CUnavailableFunction>();
        function->Initialize(row.name, row.count, row.types, row.answer);
        registry->RegisterBuiltin(std::move(function));
    }
    return registry;
}
