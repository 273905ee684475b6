#include "engine/parser/ss_exception.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <variant>
#include <vector>

namespace {

struct FormatEntry {
    std::uint32_t code;
    const char* format;
};

constexpr FormatEntry kFormats[] = {
    {1, "SSLex0101e: Error opening file, %s, %ld"},
    {2, "SSLex0102e: Invalid file length or read error, %s, %ld"},
    {3, "SSLex0103e: Lexeme too long, %ld"},
    {4, "SSLex0104e: Invalid table, %s"},
    {5, "SSLex0105e: Invalid token, Line %ld, Offset %ld, %s"},
    {6, "SSLex0106e: Invalid expression list index, %ld"},
    {7, "SSLex0107e: Table or consumer missing, required"},
    {8, "SSLifo0001e: Stack full"},
    {9, "SSLifo0002e: No top, stack empty"},
    {10, "SSLifo0004e: Cannot pop empty stack"},
    {11, "SSLifo0003e: Invalid index"},
    {12, "SSYacc0101e: Open file failed, %s"},
    {13, "SSYacc0102e: Parse failed, invalid table"},
    {14, "SSYacc0103e: Attempted read past eof"},
    {16, "SSYacc0105e: Error token failed, no valid token"},
    {17, "SSYacc0106e: Error token failed, eof"},
    {18, "SSYacc0107e: Invalid goto on %ld"},
    {19, "SSYacc0108e: Invalid index on elementFromProduction, %ld"},
    {20, "SSYacc0109e: setTable missing, required"},
    {21, "SSYacc0110e: setLex missing, required"},
    {22, "SSYacc0111e: Error reading table, %s"},
    {23, "SSSetArray0001e: Set full"},
    {26, "SSYacc0112e: Table too big"},
    {28, "SSRef0001e: Reference count less than zero"},
    {35, "SSYacc0114e: Invalid state specified, %ld"},
    {36, "SSLex0108e: Resource not found, %s"},
    {37, "SSYacc0114e: Resource not found, %s"},
    {0xFFFFFFFF, "SSException0001e: Out of storage"},
};

using Argument = std::variant<long, const char*>;

// Expands %ld and %s with the arguments in order. Written out rather than handed to
// printf so that a format and its arguments can never disagree in type.
std::string expand(const char* format, const std::vector<Argument>& arguments) {
    std::string out;
    std::size_t next = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out.push_back(*p);
            continue;
        }
        if (p[1] == '%') {
            out.push_back('%');
            ++p;
            continue;
        }
        std::size_t skip = 0;
        if (std::strncmp(p + 1, "ld", 2) == 0) {
            skip = 2;
        } else if (p[1] == 's') {
            skip = 1;
        } else {
            out.push_back(*p);
            continue;
        }
        p += skip;
        if (next >= arguments.size()) continue;
        const Argument& a = arguments[next++];
        if (const long* number = std::get_if<long>(&a)) {
            out += std::to_string(*number);
        } else if (const char* s = std::get<const char*>(a)) {
            out += s;
        } else {
            out += "(null)";
        }
    }
    return out;
}

}  // namespace

const char* SSErrorFormat(std::uint32_t code) {
    for (const FormatEntry& e : kFormats) {
        if (e.code == code) return e.format;
    }
    return nullptr;
}

SSException::SSException() = default;

SSException::SSException(std::uint32_t errorCode, const char* messageText) : code(errorCode) {
    setText(messageText);
}

SSException::SSException(const SSException& other) : std::exception(other), code(other.code) {
    std::memcpy(text, other.text, kTextSize);
}

SSException& SSException::operator=(const SSException& other) {
    if (this != &other) {
        code = other.code;
        std::memcpy(text, other.text, kTextSize);
        for (Parameter& p : parameters_) p = Parameter{};
    }
    return *this;
}

void SSException::setText(const char* messageText) {
    if (messageText == nullptr) messageText = "";
    std::size_t length = std::strlen(messageText);
    if (length >= kTextSize) length = kTextSize - 1;
    std::memcpy(text, messageText, length);
    text[length] = '\0';
}

void SSException::setLong(int slot, long value) {
    if (slot < 0 || slot >= kParameterCount) return;
    parameters_[slot] = Parameter{kLong, value, {}};
}

void SSException::setString(int slot, const char* value) {
    if (slot < 0 || slot >= kParameterCount) return;
    parameters_[slot] = Parameter{kString, 0, value == nullptr ? "" : value};
}

SSException::ParameterType SSException::parameterType(int slot) const {
    if (slot < 0 || slot >= kParameterCount) return kLong;
    return parameters_[slot].type;
}

long SSException::parameterLong(int slot) const {
    if (slot < 0 || slot >= kParameterCount || parameters_[slot].type != kLong) return 0;
    return parameters_[slot].value;
}

const char* SSException::parameterString(int slot) const {
    if (slot < 0 || slot >= kParameterCount || parameters_[slot].type != kString) return nullptr;
    return parameters_[slot].string.c_str();
}

SSRuntimeOptions& SSOptions() {
    static SSRuntimeOptions options;
    return options;
}

namespace {

std::unique_ptr<SSException> makeError(std::uint32_t code, const std::vector<Argument>& arguments) {
    auto error = std::make_unique<SSException>();
    error->code = code;
    const char* format = SSErrorFormat(code);
    error->setText(format == nullptr ? "" : expand(format, arguments).c_str());
    for (std::size_t i = 0; i < arguments.size() && i < SSException::kParameterCount; ++i) {
        int slot = static_cast<int>(i);
        if (const long* number = std::get_if<long>(&arguments[i])) {
            error->setLong(slot, *number);
        } else {
            error->setString(slot, std::get<const char*>(arguments[i]));
        }
    }
    return error;
}

}  // namespace

void SSErrorSlot::record(std::unique_ptr<SSException> error) {
    SSException thrown(*error);
    error_ = std::move(error);
    SSRuntimeOptions& options = SSOptions();
    if (options.throwOnError.load() != 0 && options.suppressThrow.load() == 0) throw thrown;
}

void SSErrorSlot::raise(std::uint32_t code) {
    record(makeError(code, {}));
}

void SSErrorSlot::raise(std::uint32_t code, long value) {
    record(makeError(code, {value}));
}

void SSErrorSlot::raise(std::uint32_t code, const char* string) {
    record(makeError(code, {string}));
}

void SSErrorSlot::raise(std::uint32_t code, const char* string, long value) {
    record(makeError(code, {string, value}));
}

void SSErrorSlot::raiseLineOffsetText(std::uint32_t code, long line, long offset, const char* string) {
    record(makeError(code, {line, offset, string}));
}

bool SSErrorSlot::takeOver(SSErrorSlot& from) {
    if (from.error_ == nullptr) return false;
    error_ = std::move(from.error_);
    return true;
}

void* ssAlloc(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr && SSOptions().suppressThrow.load() == 0) {
        throw SSException(SSErrorOutOfStorage, SSErrorFormat(SSErrorOutOfStorage));
    }
    return block;
}

void ssFree(void* block) {
    std::free(block);
}
