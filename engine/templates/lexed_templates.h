// The lexed forms of template files, kept between requests. A form holds every lexeme of a
// file and the lexer's state after each one, so that a request parses the file again without
// scanning its text: the parser still reduces as it reads and every reduction runs its action
// at once, in order, and a loop that rewinds the input finds its place in the form again.
//
// A form is found by the stamp of the file read (identity, size, modification time to the
// nanosecond) and only for the very bytes it was made from: the file system's clock moves in
// steps of milliseconds, so two writes of the same size within one step leave the same stamp,
// and the bytes tell them apart. The forms kept are bounded in memory; the least recently
// used go first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/parser/ss_input_source.h"
#include "platform/checked_file.h"

class SSLexStateTables;

// One text's lexemes as the template lexer reads a file (in text mode), up to its end or to
// the first text no lexeme matches; the lexer goes on from there itself.
class CLexedTemplate {
public:
    struct Lexeme {
        std::uint32_t token = 0;
        std::uint32_t lists = 0;   // the expression-list stack after it (an index of Lists)
        std::size_t offset = 0;    // its bytes in the lexer's buffer
        std::size_t length = 0;
        long line = 0;
        long column = 0;
        SSInputState after;        // the source's state right after it
    };
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // Lexes text with the tables from the lexer's first list; null when the form would hold
    // more than maxBytes.
    static std::shared_ptr<const CLexedTemplate> Lex(const std::string& text, const SSLexStateTables* tables,
                                                     std::size_t maxBytes);

    const std::string& Text() const { return m_text; }
    // The source's state and the lists before the first lexeme.
    const SSInputState& Start() const { return m_start; }
    const std::vector<Lexeme>& Lexemes() const { return m_lexemes; }
    const std::vector<std::uint32_t>& Lists(std::uint32_t index) const { return m_lists[index]; }
    // The lexeme after which the source stood at `state` with `lists` (a state saved then and
    // put back); kNone when there is none.
    std::size_t After(const SSInputState& state, const std::vector<std::uint32_t>& lists) const;
    // The memory the form holds.
    std::size_t Bytes() const;

private:
    explicit CLexedTemplate(std::string text) : m_text(std::move(text)) {}
    std::uint32_t ListsIndex(const std::vector<std::uint32_t>& lists);

    std::string m_text;
    SSInputState m_start;
    std::vector<Lexeme> m_lexemes;
    std::vector<std::vector<std::uint32_t>> m_lists;  // the distinct stacks met, the first one's first
};

// The forms of the files read, one per file.
class CLexedTemplates {
public:
    explicit CLexedTemplates(std::size_t maxBytes) : m_maxBytes(maxBytes) {}
    CLexedTemplates(const CLexedTemplates&) = delete;
    CLexedTemplates& operator=(const CLexedTemplates&) = delete;

    // The form kept for the file with this stamp, when it was made from these very bytes.
    std::shared_ptr<const CLexedTemplate> Find(const tessaro::platform::FileStamp& stamp, const std::string& text);
    // Keeps the form of the file (in place of an older one); the least recently found forms go
    // while the forms hold more than the bound. A form of more than LargestKept() bytes, or of
    // a file without a stamp, is not kept.
    void Keep(const tessaro::platform::FileStamp& stamp, std::shared_ptr<const CLexedTemplate> form);

    std::size_t MaxBytes() const { return m_maxBytes; }
    std::size_t LargestKept() const { return m_maxBytes / 8; }
    std::size_t BytesHeld() const;
    std::size_t Count() const;

private:
    struct Kept {
        tessaro::platform::FileStamp stamp;
        std::shared_ptr<const CLexedTemplate> form;
        std::size_t bytes = 0;
    };
    using Identity = std::pair<std::uint64_t, std::uint64_t>;

    const std::size_t m_maxBytes;
    mutable std::mutex m_mutex;
    std::list<Kept> m_recent;  // most recently found first
    std::map<Identity, std::list<Kept>::iterator> m_byFile;
    std::size_t m_bytes = 0;
};
