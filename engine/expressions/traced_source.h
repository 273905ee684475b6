// The lexer's view of an expression text with the origin of its characters. The input
// source reads exactly the text's bytes (nothing dropped, nothing added), so where a
// lexeme starts in the source is where its characters stand in the text, and their
// origin is read from the same object that holds them: a lexeme cannot read the marks of
// other characters.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/expressions/text_origin.h"
#include "engine/parser/ss_input_source.h"

class CTracedSource {
public:
    CTracedSource() = default;
    CTracedSource(const CTracedSource&) = delete;
    CTracedSource& operator=(const CTracedSource&) = delete;

    // Starts over on the text up to its first NUL (an expression ends there).
    void Assign(const CTracedView& text);

    // What the lexer reads: no one can give it other characters than these.
    SSInputSource& Input() { return m_input; }

    // A value wrote some or all of the characters.
    bool FromValue() const { return m_mixed || m_allValue; }
    bool IsMixed() const { return m_mixed; }
    // The characters [start, start + length) of the source (cut at its end), each with its
    // origin.
    CTracedText Characters(std::size_t start, std::size_t length) const;

private:
    SSStringInputSource m_input{"", SSInputBytes};
    // Only while mixed: the characters with their marks (a uniform source needs no copy).
    CTracedText m_text;
    bool m_mixed = false;
    bool m_allValue = false;
};
