#include "engine/expressions/function_result_limit.h"

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/runtime_interface.h"
#include "support/server_settings.h"

std::size_t MaxFunctionResultBytes(const CRuntimeInterface* runtime) {
    return runtime != nullptr ? runtime->m_maxResultBytes : kDefaultMaxFunctionResultBytes;
}

std::size_t ReadMaxFunctionResultBytes(CServerSettings* settings) {
    if (settings == nullptr) return kDefaultMaxFunctionResultBytes;
    const long value =
        settings->GetNumber("Server", "MaxFunctionResultBytes", static_cast<long>(kDefaultMaxFunctionResultBytes));
    return value > 0 ? static_cast<std::size_t>(value) : kDefaultMaxFunctionResultBytes;
}

void ThrowFunctionResultTooLong(const char* signature, std::size_t limit) {
    ThrowExpressionError(expr_code::kArgumentType,
                         FormatExpressionMessage("The result of the function %s would be longer than the limit of %zu "
                                                 "bytes set by the server (MaxFunctionResultBytes)",
                                                 signature, limit));
}

void CheckFunctionResultBytes(std::size_t limit, const char* signature, std::size_t bytes) {
    if (bytes > limit) ThrowFunctionResultTooLong(signature, limit);
}
