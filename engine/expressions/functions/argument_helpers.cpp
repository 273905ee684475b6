#include "engine/expressions/functions/argument_helpers.h"

#include <charconv>
#include <cmath>

#include "engine/expressions/expression_exception.h"
#include "support/runtime_file_gate.h"

void ThrowParameterError(const CTSFunction& function, unsigned position, ExprYaccStackElement* argument,
                         const CWebMessage& words) {
    ThrowExpressionError(expr_code::kArgumentType,
                         FormatExpressionMessage("Parameter %u of function %s which is now \"%s\" must be ", position,
                                                 function.GetName().c_str(), argument->AsStdString().c_str()) +
                             words);
}

void CheckAtMostTwoArguments(const CTSFunction& function, CExprArgumentList* arguments) {
    const std::size_t count = arguments ? arguments->size() : 0;
    if (count > 2)
        ThrowExpressionError(
            expr_code::kArgumentCount,
            FormatExpressionMessage("The function %s takes at most 2 arguments; You have called it with %u "
                                    "arguments",
                                    function.GetName().c_str(), static_cast<unsigned>(count)));
}

double FiniteReal(const CTSFunction& function, unsigned position, ExprYaccStackElement* argument) {
    const double value = argument->AsReal();
    if (!std::isfinite(value)) ThrowParameterError(function, position, argument, "a finite number");
    return value;
}

std::int32_t FiniteInt(const CTSFunction& function, unsigned position, ExprYaccStackElement* argument) {
    const std::int32_t value = argument->AsInt();
    if ((argument->outType & (expr_type::kReal | expr_type::kDate)) && !std::isfinite(argument->real))
        ThrowParameterError(function, position, argument, "a finite number");
    return value;
}

double CheckFiniteResult(const CTSFunction& function, ExprYaccStackElement* argument, double result) {
    if (!std::isfinite(result))
        ThrowExpressionError(expr_code::kArgumentType,
                             FormatExpressionMessage("The function %s has no finite result for the argument \"%s\"",
                                                     function.GetName().c_str(), argument->AsStdString().c_str()));
    return result;
}

std::string FormatShortReal(double value, int precision) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, precision);
    if (result.ec != std::errc()) return std::string();
    return std::string(text, result.ptr);
}

const CRuntimeFileGate& FileGateOf(const CRuntimeInterface* runtime) {
    return runtime != nullptr && runtime->m_fileGate != nullptr ? *runtime->m_fileGate : RootOnlyFileGate();
}
