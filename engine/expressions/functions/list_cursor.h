// Delimited lists of the list and token functions: a text and a set of delimiter
// characters. Elements are the maximal runs without a delimiter, so runs of delimiters
// count once, leading and trailing ones are ignored and there are no empty elements.
// The scan works on offsets into the caller's text: nothing is copied or written, and
// no state outlives the cursor, so calls on many threads never meet.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/expressions/text_origin.h"

// Membership of the bytes of a delimiter (or character) set.
class CCharacterSet {
public:
    explicit CCharacterSet(std::string_view characters);
    bool Contains(char c) const { return m_in[static_cast<unsigned char>(c)]; }
    bool Empty() const { return m_empty; }

private:
    bool m_in[256] = {};
    bool m_empty = true;
};

// One element: [start, end) in the text.
struct ListElement {
    std::size_t start = 0;
    std::size_t end = 0;
};

class CListCursor {
public:
    // Both texts (and what the view borrows) must outlive the cursor. The rebuilt lists keep
    // the origin of every character they take from the list or the value.
    CListCursor(std::string_view text, std::string_view delimiters);
    CListCursor(const CTracedView& list, std::string_view delimiters);

    // The next element from the current place; false at the end of the list.
    bool Next(ListElement& element);
    // Back to the start of the list.
    void Rewind() { m_place = 0; }

    std::size_t Count();
    // The element at a 1-based position; throws 0x4013 "Invalid position in list" when the
    // list has fewer elements. `following` receives the start of the next element, or
    // the length of the text when none follows (reported through `hasNext`).
    ListElement ElementAt(std::size_t position, std::size_t* following = nullptr, bool* hasNext = nullptr);

    // The rebuilding operations of the list functions; see list_functions.cpp.
    CTracedText Rest();
    CTracedText SetAt(std::size_t position, const CTracedView& value);
    CTracedText DeleteAt(std::size_t position);
    CTracedText InsertAt(std::size_t position, const CTracedView& value);

    std::string_view Text() const { return m_text; }
    std::string_view Element(const ListElement& e) const { return m_text.substr(e.start, e.end - e.start); }
    CTracedText TracedElement(const ListElement& e) const {
        return CTracedText::Slice(Traced(), e.start, e.end - e.start);
    }
    const CTracedView& Traced() const { return m_list; }
    // The delimiter that editing puts into the text: the first of the set, or nothing for
    // an empty set (inserting a NUL would cut the text short).
    std::string_view InsertedDelimiter() const { return m_delimiters.substr(0, 1); }
    bool IsDelimiter(char c) const { return m_set.Contains(c); }

private:
    CTracedView m_list;
    std::string_view m_text;
    std::string_view m_delimiters;
    CCharacterSet m_set;
    std::size_t m_place = 0;
};

// "Invalid position in list" (0x4013).
[[noreturn]] void ThrowInvalidListPosition();
