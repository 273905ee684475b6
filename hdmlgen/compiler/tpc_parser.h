// The HDML compiler's front end: parses and checks one deck, lists what is wrong
// with it, and hands a parsed deck to the deck writer.
#pragma once

#include <cstddef>
#include <deque>
#include <ostream>
#include <string>

#include "hdmlgen/compiler/hdml_deck.h"

class TpcHDMLCGen;

// One error of a parse; errors link to the next in source order.
class TpcParseError {
public:
    TpcParseError(int line, int column, std::string message)
        : m_line(line), m_column(column), m_message(std::move(message)) {}

    int GetLine() const { return m_line; }
    int GetColumn() const { return m_column; }
    const std::string& GetMessage() const { return m_message; }
    const TpcParseError* GetNext() const { return m_next; }

private:
    friend class TpcParser;
    int m_line;
    int m_column;
    std::string m_message;
    const TpcParseError* m_next = nullptr;  // owned by the parser, as the error itself
};

// "Line 3, column 5: Unknown element <FOO>"
std::ostream& operator<<(std::ostream& out, const TpcParseError& error);

class TpcParser {
public:
    // language must be "HDML"; the text is not copied and must outlive ParseDeck.
    TpcParser(const char* language, const char* text, std::size_t length);
    ~TpcParser();
    TpcParser(const TpcParser&) = delete;
    TpcParser& operator=(const TpcParser&) = delete;

    // Nonzero when the text is a valid deck.
    int ParseDeck();
    // A deck lists at most this many errors; a text can hold one per byte, and the
    // list answers a request.
    static constexpr std::size_t kMaxListedErrors = 100;

    // The first error, or null.
    const TpcParseError* GetErrors() const { return m_errors.empty() ? nullptr : &m_errors.front(); }
    // The errors found past the listed ones, only counted.
    std::size_t GetUnlistedErrorCount() const { return m_unlistedErrors; }
    // Writes the parsed deck; nonzero when every byte was written.
    int Generate(TpcHDMLCGen& generator);

    const hdml::Node& GetDeck() const { return m_deck; }

private:
    class Reader;
    void AddError(int line, int column, const std::string& message);

    std::string m_language;
    const char* m_text;
    std::size_t m_length;
    bool m_parsed = false;
    hdml::Node m_deck;
    // A deque keeps each error in place as more are added, so the links stay valid.
    std::deque<TpcParseError> m_errors;
    std::size_t m_unlistedErrors = 0;
};
