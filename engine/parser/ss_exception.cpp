#include "engine/parser/ss_exception.h"

#include "engine/parser/ss_block_pool.h"

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
    {38, "SSYacc0115e: Input nested too deeply, more than %ld levels"},
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

static_assert(sizeof(SSException) <= SSBlockPool::kBlockSize, "a recorded error fills one pool block");
static_assert(sizeof(void*) <= 2 * sizeof(std::uint32_t), "a string slot holds its pointer in two words");

namespace {

char* CopyString(const char* value) {
    if (value == nullptr) value = "";
    std::size_t size = std::strlen(value) + 1;
    auto* copy = static_cast<char*>(ssAlloc(size));
    if (copy != nullptr) std::memcpy(copy, value, size);
    return copy;
}

}  // namespace

SSException::SSException() {
    for (int i = 0; i < kParameterCount; ++i) {
        parameters_[2 * i] = kLong;
        parameters_[2 * i + 1] = 0;
    }
}

SSException::SSException(std::uint32_t errorCode, const char* messageText) : SSException() {
    code = errorCode;
    setText(messageText);
}

SSException::SSException(const SSException& other) : SSException() {
    code = other.code;
    std::memcpy(text, other.text, kTextSize);
}

SSException& SSException::operator=(const SSException& other) {
    if (this != &other) {
        code = other.code;
        std::memcpy(text, other.text, kTextSize);
        for (int i = 0; i < kParameterCount; ++i) clearParameter(i);
    }
    return *this;
}

SSException::~SSException() {
    for (int i = 0; i < kParameterCount; ++i) clearParameter(i);
}

void* SSException::operator new(std::size_t size) {
    if (size <= SSBlockPool::kBlockSize) return SSPool().take();
    return ::operator new(size);
}

void SSException::operator delete(void* block) noexcept {
    if (SSPool().owns(block))
        SSPool().giveBack(block);
    else
        ::operator delete(block);
}

void SSException::clearParameter(int slot) {
    if (parameterType(slot) == kString) ssFree(const_cast<char*>(parameterString(slot)));
    parameters_[2 * slot] = kLong;
    parameters_[2 * slot + 1] = 0;
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
    clearParameter(slot);
    parameters_[2 * slot + 1] = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

void SSException::setString(int slot, const char* value) {
    if (slot < 0 || slot >= kParameterCount) return;
    clearParameter(slot);
    char* copy = CopyString(value);
    if (copy == nullptr) return;  // no storage left, and throws suppressed: the slot stays a number
    std::memcpy(&parameters_[2 * slot], &copy, sizeof copy);
}

SSException::ParameterType SSException::parameterType(int slot) const {
    if (slot < 0 || slot >= kParameterCount) return kLong;
    return parameters_[2 * slot] == kLong ? kLong : kString;
}

long SSException::parameterLong(int slot) const {
    if (parameterType(slot) != kLong) return 0;
    return static_cast<std::int32_t>(parameters_[2 * slot + 1]);
}

const char* SSException::parameterString(int slot) const {
    if (parameterType(slot) != kString) return nullptr;
    char* copy;
    std::memcpy(&copy, &parameters_[2 * slot], sizeof copy);
    return copy;
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
    void* block = nullptr;
    try {
        block = size <= SSBlockPool::kBlockSize ? SSPool().take() : std::malloc(size);
    } catch (const std::bad_alloc&) {
        block = nullptr;
    }
    if (block == nullptr && SSOptions().suppressThrow.load() == 0) {
        throw SSException(SSErrorOutOfStorage, SSErrorFormat(SSErrorOutOfStorage));
    }
    return block;
}

void ssFree(void* block) {
    if (block == nullptr) return;
    if (SSPool().owns(block))
        SSPool().giveBack(block);
    else
        std::free(block);
}
