// The HDML compiler's front end: parses and checks one deck, lists what is wrong
// with it, and hands a parsed deck to the deck writer.
#pragma once

#include <cstddef>
#include <memory>
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
    const TpcParseError* GetNext() const { return m_next.get(); }

private:
    friend class TpcParser;
    int m_line;
    int m_column;
    std::string m_message;
    std::unique_ptr<TpcParseError> m_next;
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
    // The first error, or null.
    const TpcParseError* GetErrors() const { return m_errors.get(); }
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
    std::unique_ptr<TpcParseError> m_errors;
    TpcParseError* m_lastError = nullptr;
};
