#include "engine/expressions/expression_exception.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "engine/expressions/expression_log.h"

void ThrowExpressionError(std::uint32_t code, const CWebMessage& text) {
    throw new CExpressionException(code, text);
}

void ThrowLoggedExpressionError(const char* source, const std::string& logText, std::uint32_t code,
                                const CWebMessage& text) {
    LogExpressionError(source, logText.c_str());
    ThrowExpressionError(code, text);
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

namespace {

// One conversion of a printf format, formatted alone.
template <class T>
std::string FormatOne(const std::string& spec, T value) {
    char buffer[128];
    const int needed = std::snprintf(buffer, sizeof buffer, spec.c_str(), value);
    if (needed < 0) return {};
    if (static_cast<std::size_t>(needed) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(needed));
    std::string out(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(out.data(), out.size(), spec.c_str(), value);
    out.resize(static_cast<std::size_t>(needed));
    return out;
}

}  // namespace

CWebMessage FormatExpressionMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string markup;  // the format's own text so far, not yet added
    CWebMessage out;
    auto flush = [&] {
        out += CWebMessage::FromHtml(markup);
        markup.clear();
    };
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            markup += *p;
            continue;
        }
        if (p[1] == '%') {
            markup += '%';
            ++p;
            continue;
        }
        // %[flags][width][.precision][length]conversion, as the messages use them.
        const char* start = p++;
        while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
        while (*p >= '0' && *p <= '9') ++p;
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9') ++p;
        }
        std::string length;
        while (*p != '\0' && std::strchr("hlzjt", *p) != nullptr) length += *p++;
        if (*p == '\0') break;
        const std::string spec(start, static_cast<std::size_t>(p - start + 1));
        const char conversion = *p;
        if (conversion == 's') {
            const char* text = va_arg(args, const char*);
            flush();
            out += FormatOne(spec, text != nullptr ? text : "");
        } else if (std::strchr("di", conversion) != nullptr) {
            if (length == "l")
                markup += FormatOne(spec, va_arg(args, long));
            else if (length == "ll")
                markup += FormatOne(spec, va_arg(args, long long));
            else if (length == "z")
                markup += FormatOne(spec, va_arg(args, std::ptrdiff_t));
            else
                markup += FormatOne(spec, va_arg(args, int));
        } else if (std::strchr("uxXo", conversion) != nullptr) {
            if (length == "l")
                markup += FormatOne(spec, va_arg(args, unsigned long));
            else if (length == "ll")
                markup += FormatOne(spec, va_arg(args, unsigned long long));
            else if (length == "z")
                markup += FormatOne(spec, va_arg(args, std::size_t));
            else
                markup += FormatOne(spec, va_arg(args, unsigned));
        } else if (std::strchr("fFeEgG", conversion) != nullptr) {
            markup += FormatOne(spec, va_arg(args, double));
        } else if (conversion == 'c') {
            flush();
            out += std::string(1, static_cast<char>(va_arg(args, int)));
        } else {
            markup += spec;  // not a conversion the messages use: kept as written
        }
    }
    va_end(args);
    flush();
    return out;
}
