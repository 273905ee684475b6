#include "engine/expressions/function_result_limit.h"

#include <atomic>

#include "engine/expressions/expression_exception.h"
#include "support/server_settings.h"

namespace {
std::atomic<std::size_t> g_maxResultBytes{kDefaultMaxFunctionResultBytes};
}  // namespace

std::size_t MaxFunctionResultBytes() {
    return g_maxResultBytes.load(std::memory_order_relaxed);
}

void SetMaxFunctionResultBytes(std::size_t bytes) {
    g_maxResultBytes.store(bytes == 0 ? kDefaultMaxFunctionResultBytes : bytes, std::memory_order_relaxed);
}

void LoadMaxFunctionResultBytes(CServerSettings* settings) {
    if (settings == nullptr) return;
    const long value =
        settings->GetNumber("Server", "MaxFunctionResultBytes", static_cast<long>(kDefaultMaxFunctionResultBytes));
    SetMaxFunctionResultBytes(value > 0 ? static_cast<std::size_t>(value) : 0);
}

void ThrowFunctionResultTooLong(const char* signature) {
    ThrowExpressionError(expr_code::kArgumentType,
                         FormatExpressionMessage("The result of the function %s would be longer than the limit of %zu "
                                                 "bytes set by the server (MaxFunctionResultBytes)",
                                                 signature, MaxFunctionResultBytes()));
}

void CheckFunctionResultBytes(const char* signature, std::size_t bytes) {
    if (bytes > MaxFunctionResultBytes()) ThrowFunctionResultTooLong(signature);
}
