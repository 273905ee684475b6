#pragma once
// Character sources of the lexer.
//
// A source holds a buffer with a mark at the start of the lexeme being scanned and a read
// position, and counts lines and columns. The first read of every source delivers the
// start-of-input value 0xFFFFFFFF, which the tables treat as an ordinary character.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_ref.h"
#include "engine/parser/ss_token.h"

enum SSInputMode : std::uint32_t {
    SSInputBytes = 0,  // 8-bit characters, read as they are
    SSInputWide = 1,   // 16-bit units, little-endian unless a FE FF mark says otherwise
    SSInputText = 2,   // 8-bit characters; a CR right before an LF is dropped
};

// Where the scanner saw its last accepting state.
struct SSAcceptPosition {
    std::size_t position = 0;
    std::uint32_t newlines = 0;
    std::uint32_t column = 0;
};

// The scalar state of a source: everything a rewind must put back.
struct SSInputState {
    std::uint32_t pendingFirst = 0xFFFFFFFF;
    long line = 0;              // line of the mark
    std::size_t shift = 0;      // bytes the last compaction moved; the scanner clears it
    std::size_t discarded = 0;  // bytes dropped from the front so far
    std::size_t mark = 0;
    std::size_t position = 0;
    std::size_t end = 0;
    std::uint32_t markColumn = 0;
    std::uint32_t current = 0;  // the character last read
    bool atEnd = false;
    std::uint64_t charsRead = 0;
    std::uint32_t newlines = 1;  // line feeds read since the mark
    std::uint32_t column = 1;    // column of the read position
    bool littleEndian = true;
    bool operator==(const SSInputState&) const = default;
};

class SSInputSource {
public:
    explicit SSInputSource(SSInputMode mode, std::uint32_t growBy = 0);
    SSInputSource(const SSInputSource&) = delete;
    SSInputSource& operator=(const SSInputSource&) = delete;
    virtual ~SSInputSource() = default;

    // Bytes appended behind `end` (the buffer may be compacted first); 0 when nothing comes.
    virtual std::size_t refill() { return 0; }

    // The next character into `current`; false at the end.
    bool read();
    // The lexeme from the mark to the read position, token 0; the mark moves to the position.
    SSRefPtr<SSToken> makeToken();
    // The lexeme from the mark to the accept position; the read position goes back to it, so
    // characters read beyond it are read again.
    SSRefPtr<SSToken> acceptToken(std::uint32_t token, const SSAcceptPosition& accept);
    // Drops the text from the mark to the read position without a lexeme.
    void skipToPosition();

    SSAcceptPosition acceptPosition() const { return {state_.position, state_.newlines, state_.column}; }

    SSInputMode mode() const { return mode_; }
    std::uint32_t current() const { return state_.current; }
    SSInputState& state() { return state_; }
    const SSInputState& state() const { return state_; }
    const std::vector<unsigned char>& buffer() const { return buffer_; }
    std::size_t bufferSize() const { return buffer_.size(); }
    std::uint32_t growBy() const { return growBy_; }

    // Puts back a state saved earlier. Refused (false, nothing changed) when the buffer has
    // been compacted since or the saved indexes lie outside it.
    bool restore(const SSInputState& saved);

    SSErrorSlot& pendingError() { return error_; }

protected:
    // Bytes per character: 2 in 16-bit mode.
    std::size_t unitSize() const { return mode_ == SSInputWide ? 2 : 1; }

    SSInputMode mode_;
    std::uint32_t growBy_;
    SSInputState state_;
    std::vector<unsigned char> buffer_;
    SSErrorSlot error_;

private:
    SSRefPtr<SSToken> lexeme(std::uint32_t token, std::size_t to);
    void skipByteOrderMark();
};

// A text in memory (up to its first NUL when given as a C string).
class SSStringInputSource : public SSInputSource {
public:
    SSStringInputSource(const char* text, SSInputMode mode = SSInputBytes);
    SSStringInputSource(const void* bytes, std::size_t length, SSInputMode mode = SSInputBytes);

    // Starts over on another text, as a new source in the same mode would; the buffer's
    // memory is kept (a source reused for many short texts allocates only for a longer one).
    void assign(const void* bytes, std::size_t length);
    void assign(const char* text);
};
