// Where each character of a text came from: the template's own literals, or a value (a
// variable of any scope, a query column, request data, and whatever a function computes
// from one). SQL text doubles exactly the single quotes that came from values, so the
// author's quotes keep their meaning and no value can end a quoted string.
//
// A text and the origin of its characters are one object (CTracedText): every operation
// that changes the characters (append, cut, reverse, case, a new text) changes the marks
// with them, so the two cannot disagree in length or position, and no code builds marks
// for a text it did not make. A borrowed part of one (CTracedView) reads the marks of the
// same characters. Most texts are of one origin, so a uniform text carries one mark and
// costs nothing more; only a text that mixes both keeps a mark per character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CTracedText;
class CTracedView;

// The origin of a text as a whole. Only a CTracedText holds one for characters; the marks
// of a mixed origin are private to the text they describe.
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

    // A value took part in making the text, even one that left no character in it (the
    // length of an empty request field is computed from a value too).
    bool FromValue() const { return m_fromValue; }
    bool IsMixed() const { return m_kind == kMixed; }
    // Every character of the text came from a value.
    bool AllValue() const { return m_kind == kValue; }

private:
    friend class CTracedText;
    friend class CTracedView;
    enum Kind : std::uint8_t { kLiteral, kValue, kMixed };
    explicit CTextOrigin(Kind kind) : m_kind(kind), m_fromValue(kind != kLiteral) {}
    CTextOrigin& CopyMixed(const CTextOrigin& other);
    // Character i (of a text this origin describes) came from a value.
    bool IsValueAt(std::size_t i) const { return m_kind == kMixed ? (*m_mask)[i] != 0 : m_kind == kValue; }
    void SetUniform(bool valueCharacters, bool fromValue) {
        if (m_mask) m_mask.reset();
        m_kind = valueCharacters ? kValue : kLiteral;
        m_fromValue = valueCharacters || fromValue;
    }

    Kind m_kind = kLiteral;
    bool m_fromValue = false;
    // Only while mixed: one byte per character, 1 from a value, 0 from a literal. A uniform
    // origin has none, so copying one costs two bytes.
    std::unique_ptr<std::string> m_mask;
};

// Characters of a traced text with their origin, read-only and borrowed: the whole text,
// a part of it, or a text of one origin. Valid while what it borrows is unchanged.
class CTracedView {
public:
    // The whole text.
    CTracedView(const CTracedText& text);  // NOLINT: a traced text reads as its view
    // A text whose characters all have one origin.
    static CTracedView Literal(std::string_view text) { return CTracedView(text, &LiteralOrigin(), 0); }
    static CTracedView Value(std::string_view text) { return CTracedView(text, &ValueOrigin(), 0); }

    std::string_view text() const { return m_text; }
    std::size_t size() const { return m_text.size(); }
    bool empty() const { return m_text.empty(); }
    // Part of a text of one origin (uniform), and then whether that is a value's; a part of
    // a mixed text is read character by character.
    bool InUniformText() const { return !m_origin->IsMixed(); }
    bool InValueText() const { return m_origin->AllValue(); }
    // Character i of the view came from a value.
    bool IsValueAt(std::size_t i) const { return m_origin->IsValueAt(m_offset + i); }
    // Characters [pos, pos + count) (cut at the end), each with its origin.
    CTracedView Sub(std::size_t pos, std::size_t count = std::string_view::npos) const;

private:
    friend class CTracedText;
    CTracedView(std::string_view text, const CTextOrigin* origin, std::size_t offset)
        : m_text(text), m_origin(origin), m_offset(offset) {}
    static const CTextOrigin& LiteralOrigin();
    static const CTextOrigin& ValueOrigin();

    std::string_view m_text;
    const CTextOrigin* m_origin;
    // Where the view starts in the text the origin describes.
    std::size_t m_offset;
};

// A text with the origin of its characters. Each piece appended keeps the origin its
// characters had, so functions that copy or move characters (concatenation, cuts, lists,
// replacements) build their result with these and lose no mark.
class CTracedText {
public:
    CTracedText() = default;
    static CTracedText Literal(std::string text) { return Uniform(std::move(text), false); }
    static CTracedText Value(std::string text) { return Uniform(std::move(text), true); }
    static CTracedText Uniform(std::string text, bool fromValue) {
        CTracedText traced;
        traced.m_text = std::move(text);
        traced.m_origin.SetUniform(fromValue, fromValue);
        return traced;
    }
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
    CTracedView View() const { return CTracedView(*this); }
    bool IsValueAt(std::size_t i) const { return m_origin.IsValueAt(i); }
    // The characters moved out; the text is left empty and literal.
    std::string TakeText();

    void Reserve(std::size_t length) { m_text.reserve(length); }
    // Characters [pos, pos + count) of the source (cut at its end), each with its origin.
    CTracedText& Append(const CTracedView& source, std::size_t pos = 0, std::size_t count = std::string_view::npos);
    // Characters that all have one origin.
    CTracedText& AppendUniform(std::string_view characters, bool fromValue);
    CTracedText& AppendLiteral(std::string_view characters) { return AppendUniform(characters, false); }
    // The characters in reverse order, each keeping its origin.
    void Reverse();
    // Each character mapped in place by a mapping that keeps the length (a case mapping):
    // each keeps its origin. A mapping that changed the length would leave no character
    // whose origin is known: the text is then from a value throughout.
    void MapKeepingLength(void (*map)(std::string&));
    // Other characters in place of these: a uniform origin stays, a mixed one cannot
    // describe them and becomes a value's throughout.
    void ReplaceText(std::string text);
    // Every character of one origin (fromValue as CTextOrigin's: true when they are).
    void SetUniformOrigin(bool valueCharacters, bool fromValue) {
        m_origin.SetUniform(valueCharacters, fromValue);
        m_allValue = false;
    }
    // A value decided the text without giving a character of it (a condition that chose
    // it): what is computed from it is from a value; its characters keep their origin.
    void MarkDecidedByValue() { m_origin.m_fromValue = true; }
    // Every character from a value, those appended later too (a function that knows from
    // the start that a value decides its result builds it without marks).
    void MarkValue() {
        m_origin.SetUniform(true, true);
        m_allValue = true;
    }
    // Characters appended from now on keep their own origin again (a finished text that is
    // taken as the first part of another).
    void EndValueRun() { m_allValue = false; }

private:
    void AppendOrigin(const CTracedView& piece, std::size_t count);

    std::string m_text;
    CTextOrigin m_origin;
    bool m_allValue = false;
};

inline CTracedView::CTracedView(const CTracedText& text) : CTracedView(text.Text(), &text.Origin(), 0) {}

// The text as SQL takes it: every single quote that came from a value doubled, the
// author's quotes as written. A text that is one whole ODBC date, time or timestamp
// literal keeps its quotes (its body is a checked date, nothing can hide in it).
std::string QuoteValuesForSql(CTracedText text);
