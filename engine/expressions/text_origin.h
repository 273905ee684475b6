// Where each character of a text came from: the template's own literals, or a value (a
// variable of any scope, a query column, request data, and whatever a function computes
// from one). SQL text doubles exactly the single quotes that came from values, so the
// author's quotes keep their meaning and no value can end a quoted string.
//
// Most texts are of one origin, so a uniform text carries one mark and costs nothing more;
// only a text that mixes both keeps a mark per character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CTextOrigin {
public:
    // All characters literal.
    CTextOrigin() = default;
    CTextOrigin(const CTextOrigin& other) { *this = other; }
    CTextOrigin& operator=(const CTextOrigin& other) {
        if (!other.m_mask && !m_mask) {
            m_kind = other.m_kind;
            m_fromValue = other.m_fromValue;
            return *this;
        }
        return CopyMixed(other);
    }
    CTextOrigin(CTextOrigin&&) noexcept = default;
    CTextOrigin& operator=(CTextOrigin&&) noexcept = default;
    static CTextOrigin Literal() { return CTextOrigin(); }
    static CTextOrigin Value() { return CTextOrigin(kValue); }
    static CTextOrigin FromValueIf(bool fromValue) { return fromValue ? Value() : Literal(); }
    // One origin for every character; fromValue as FromValue() (true when the characters are).
    static CTextOrigin Uniform(bool valueCharacters, bool fromValue) {
        CTextOrigin origin(valueCharacters ? kValue : kLiteral);
        origin.m_fromValue = valueCharacters || fromValue;
        return origin;
    }

    // A value took part in making the text, even one that left no character in it (the
    // length of an empty request field is computed from a value too).
    bool FromValue() const { return m_fromValue; }
    bool IsMixed() const { return m_kind == kMixed; }
    // Every character of the text came from a value.
    bool AllValue() const { return m_kind == kValue; }
    // Whether this origin can describe a text of that length: a mixed one has a mark per
    // character.
    bool Fits(std::size_t length) const { return m_kind != kMixed || m_mask->size() == length; }
    // Character i came from a value (i within a text the origin fits).
    bool IsValueAt(std::size_t i) const { return m_kind == kMixed ? (*m_mask)[i] != 0 : m_kind == kValue; }

    // Every character, and the text as a whole, from a value.
    void MarkValue();
    // One origin for every character, as Uniform() makes it, in place.
    void SetUniform(bool valueCharacters, bool fromValue) {
        if (m_mask) m_mask.reset();
        m_kind = valueCharacters ? kValue : kLiteral;
        m_fromValue = valueCharacters || fromValue;
    }
    // The origin of characters [pos, pos + count) of a text of `length` characters.
    CTextOrigin Slice(std::size_t length, std::size_t pos, std::size_t count) const;
    // The same characters in reverse order.
    void Reverse();

    // The origin of a mixed text from its per-character marks (non-zero: from a value);
    // uniform marks give a uniform origin.
    static CTextOrigin FromMarks(std::string marks);

private:
    friend class CTracedText;
    enum Kind : std::uint8_t { kLiteral, kValue, kMixed };
    explicit CTextOrigin(Kind kind) : m_kind(kind), m_fromValue(kind != kLiteral) {}
    CTextOrigin& CopyMixed(const CTextOrigin& other);

    Kind m_kind = kLiteral;
    bool m_fromValue = false;
    // Only while mixed: one byte per character, 1 from a value, 0 from a literal. A uniform
    // origin has none, so copying one costs two bytes.
    std::unique_ptr<std::string> m_mask;
};

// A text with the origin of its characters, read-only and borrowed.
struct CTracedView {
    std::string_view text;
    const CTextOrigin* origin;

    // A view of a text of one origin.
    static const CTextOrigin& LiteralOrigin();
    static const CTextOrigin& ValueOrigin();
};

// A text being built with the origin of its characters. Each piece appended keeps the
// origin its characters had, so functions that copy or move characters (concatenation,
// cuts, lists, replacements) build their result with these and lose no mark.
class CTracedText {
public:
    CTracedText() = default;
    // An origin that cannot describe the text (a mixed one of another length) is taken as
    // from a value: never a reason to trust characters.
    CTracedText(std::string text, CTextOrigin origin);
    static CTracedText Literal(std::string text) { return CTracedText(std::move(text), CTextOrigin::Literal()); }
    static CTracedText Value(std::string text) { return CTracedText(std::move(text), CTextOrigin::Value()); }
    // Characters [pos, pos + count) of the source (cut at its end), each with its origin.
    static CTracedText Slice(const CTracedView& source, std::size_t pos = 0,
                             std::size_t count = std::string_view::npos) {
        CTracedText slice;
        slice.Append(source, pos, count);
        return slice;
    }

    const std::string& Text() const { return m_text; }
    const CTextOrigin& Origin() const { return m_origin; }
    std::size_t size() const { return m_text.size(); }
    bool empty() const { return m_text.empty(); }
    CTracedView View() const { return {m_text, &m_origin}; }
    std::string TakeText() { return std::move(m_text); }
    CTextOrigin TakeOrigin() { return std::move(m_origin); }

    void Reserve(std::size_t length) { m_text.reserve(length); }
    // Characters [pos, pos + count) of the source (cut at its end), each with its origin.
    CTracedText& Append(const CTracedView& source, std::size_t pos = 0, std::size_t count = std::string_view::npos);
    CTracedText& Append(const CTracedText& source) { return Append(source.View()); }
    // Characters that all have one origin.
    CTracedText& AppendUniform(std::string_view characters, bool fromValue);
    CTracedText& AppendLiteral(std::string_view characters) { return AppendUniform(characters, false); }
    // The characters in reverse order, each keeping its origin.
    void Reverse();
    // Every character from a value, those appended later too (a function that knows from
    // the start that a value decides its result builds it without marks).
    void MarkValue() {
        m_origin.MarkValue();
        m_allValue = true;
    }

private:
    void AppendOrigin(const CTextOrigin& piece, std::size_t count);

    std::string m_text;
    CTextOrigin m_origin;
    bool m_allValue = false;
};

// The text as SQL takes it: every single quote that came from a value doubled, the
// author's quotes as written. A text that is one whole ODBC date, time or timestamp
// literal keeps its quotes (its body is a checked date, nothing can hide in it).
std::string QuoteValuesForSql(CTracedText text);
