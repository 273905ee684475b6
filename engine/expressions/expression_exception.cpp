#include "engine/expressions/expression_exception.h"

#include <cstdarg>
#include <cstdio>

#include "engine/expressions/expression_log.h"

void ThrowExpressionError(std::uint32_t code, std::string text) {
    throw new CExpressionException(code, std::move(text));
}

void ThrowLoggedExpressionError(const char* source, const std::string& logText, std::uint32_t code, std::string text) {
    LogExpressionError(source, logText.c_str());
    ThrowExpressionError(code, std::move(text));
}

std::string FormatExpressionText(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (needed < 0) {
        va_end(again);
        return out;
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(needed));
    } else {
        out.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<std::size_t>(needed));
    }
    va_end(again);
    return out;
}
