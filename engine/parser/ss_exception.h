#pragma once
// Errors of the lexer and parser runtime.
//
// Every runtime object that can fail owns one SSErrorSlot: a raise records the error there
// and, unless the process-wide options say otherwise, throws a copy. A caller that finds
// an error pending in a sub-object moves it into its own slot ("takes it over") and
// reports failure upward, so that an error deep in a stack reaches the lexer or parser.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Error numbers of the runtime.
enum SSErrorCode : std::uint32_t {
    SSErrorOpenFile = 1,
    SSErrorFileLength = 2,
    SSErrorLexemeTooLong = 3,
    SSErrorInvalidLexTable = 4,
    SSErrorInvalidToken = 5,
    SSErrorInvalidListIndex = 6,
    SSErrorLexMissing = 7,
    SSErrorStackFull = 8,
    SSErrorNoTop = 9,
    SSErrorPopEmpty = 10,
    SSErrorInvalidIndex = 11,
    SSErrorOpenTableFile = 12,
    SSErrorInvalidParseTable = 13,
    SSErrorReadPastEof = 14,
    SSErrorNoValidToken = 16,
    SSErrorRecoveryEof = 17,
    SSErrorInvalidGoto = 18,
    SSErrorInvalidElementIndex = 19,
    SSErrorTableMissing = 20,
    SSErrorLexerMissing = 21,
    SSErrorReadingTable = 22,
    SSErrorSetFull = 23,
    SSErrorTableTooBig = 26,
    SSErrorNegativeRefCount = 28,
    SSErrorInvalidState = 35,
    SSErrorLexResourceNotFound = 36,
    SSErrorYaccResourceNotFound = 37,
    SSErrorNestedTooDeeply = 38,
    SSErrorOutOfStorage = 0xFFFFFFFF,
};

// The printf format of an error number, or null for a number the runtime does not know.
const char* SSErrorFormat(std::uint32_t code);

// One recorded or thrown error. `text` is the formatted message, cut to 127 bytes.
//
// A recorded error fills one block of the runtime's pool (ss_block_pool.h) exactly: the
// code, eight parameter slots of two 32-bit words and the text. A number slot holds the
// type 2 in its first word and the number in its second; a string slot holds the pointer
// to its own copy of the string across both words (such a pointer is at least 16-aligned,
// so its first word is never 2).
class SSException {
public:
    static constexpr std::size_t kTextSize = 128;
    static constexpr int kParameterCount = 8;
    enum ParameterType : std::uint32_t { kString = 1, kLong = 2 };

    SSException();
    SSException(std::uint32_t errorCode, const char* messageText);
    // A copy carries the code and the text; its parameter slots are fresh.
    SSException(const SSException& other);
    SSException& operator=(const SSException& other);
    ~SSException();

    // Recorded errors live in the pool; a larger object would come from the heap.
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;

    const char* what() const noexcept { return text; }

    void setText(const char* messageText);
    void setLong(int slot, long value);
    void setString(int slot, const char* value);
    ParameterType parameterType(int slot) const;
    long parameterLong(int slot) const;           // 0 unless the slot holds a number
    const char* parameterString(int slot) const;  // null unless the slot holds a string

    std::uint32_t code = 0;

private:
    void clearParameter(int slot);
    std::uint32_t parameters_[2 * kParameterCount];

public:
    char text[kTextSize] = {};
};

// Process-wide behaviour of raises. Made with these values; the system never changes them
// (tests do, to reach the paths that report failure without throwing).
struct SSRuntimeOptions {
    std::atomic<int> throwOnError{1};
    std::atomic<int> suppressThrow{0};
};
SSRuntimeOptions& SSOptions();

// The pending error of one runtime object.
class SSErrorSlot {
public:
    SSErrorSlot() = default;
    SSErrorSlot(const SSErrorSlot&) = delete;
    SSErrorSlot& operator=(const SSErrorSlot&) = delete;
    SSErrorSlot(SSErrorSlot&&) = default;
    SSErrorSlot& operator=(SSErrorSlot&&) = default;

    bool pending() const { return error_ != nullptr; }
    const SSException* get() const { return error_.get(); }
    // Hands the pending error to the caller and leaves the slot empty.
    std::unique_ptr<SSException> take() { return std::move(error_); }
    void clear() { error_.reset(); }

    // Each records the error (replacing an older one) and throws a copy when the options
    // say so. The formats come from the error table.
    void raise(std::uint32_t code);
    void raise(std::uint32_t code, long value);
    void raise(std::uint32_t code, const char* string);
    void raise(std::uint32_t code, const char* string, long value);
    void raiseLineOffsetText(std::uint32_t code, long line, long offset, const char* string);

    // Moves a sub-object's pending error into this slot; true when there was one.
    bool takeOver(SSErrorSlot& from);

private:
    void record(std::unique_ptr<SSException> error);
    std::unique_ptr<SSException> error_;
};

// Memory for the runtime: a pool block when size fits one, else the heap. Throws the
// out-of-storage SSException when none is left (unless throws are suppressed, then null).
void* ssAlloc(std::size_t size);
// Gives a block of ssAlloc back to the pool or the heap it came from; null is ignored.
void ssFree(void* block);
