#include "engine/expressions/functions/list_cursor.h"

#include "engine/expressions/expression_exception.h"

CCharacterSet::CCharacterSet(std::string_view characters) {
    for (char c : characters) m_in[static_cast<unsigned char>(c)] = true;
    m_empty = characters.empty();
}

void ThrowInvalidListPosition() {
    ThrowExpressionError(expr_code::kListPosition, "Invalid position in list");
}

CListCursor::CListCursor(std::string_view text, std::string_view delimiters)
    : CListCursor(CTracedView::Literal(text), delimiters) {}

CListCursor::CListCursor(const CTracedView& list, std::string_view delimiters)
    : m_list(list), m_text(list.text()), m_delimiters(delimiters), m_set(delimiters) {}

bool CListCursor::Next(ListElement& element) {
    const std::size_t n = m_text.size();
    std::size_t i = m_place;
    while (i < n && m_set.Contains(m_text[i])) ++i;
    if (i >= n) {
        m_place = n;
        return false;
    }
    element.start = i;
    while (i < n && !m_set.Contains(m_text[i])) ++i;
    element.end = i;
    m_place = i;
    return true;
}

std::size_t CListCursor::Count() {
    Rewind();
    std::size_t count = 0;
    ListElement e;
    while (Next(e)) ++count;
    return count;
}

ListElement CListCursor::ElementAt(std::size_t position, std::size_t* following, bool* hasNext) {
    Rewind();
    ListElement e;
    for (std::size_t i = 0; i < position; ++i)
        if (!Next(e)) ThrowInvalidListPosition();
    if (following != nullptr || hasNext != nullptr) {
        ListElement next;
        const bool more = Next(next);
        if (following) *following = more ? next.start : m_text.size();
        if (hasNext) *hasNext = more;
    }
    return e;
}

CTracedText CListCursor::Rest() {
    Rewind();
    ListElement e;
    if (!Next(e)) ThrowInvalidListPosition();
    if (!Next(e)) return {};
    return CTracedText::Slice(Traced(), e.start);
}

CTracedText CListCursor::SetAt(std::size_t position, const CTracedView& value) {
    std::size_t next = 0;
    bool more = false;
    const ListElement e = ElementAt(position, &next, &more);
    CTracedText out;
    out.Reserve(m_text.size() + value.text().size() + 1);
    out.Append(Traced(), 0, e.start).Append(value);
    if (more) out.AppendLiteral(InsertedDelimiter());
    out.Append(Traced(), next);
    return out;
}

CTracedText CListCursor::DeleteAt(std::size_t position) {
    std::size_t next = 0;
    bool more = false;
    const ListElement e = ElementAt(position, &next, &more);
    std::size_t start = e.start;
    // The last element goes with the delimiters in front of it.
    if (!more)
        while (start > 0 && m_set.Contains(m_text[start - 1])) --start;
    CTracedText out;
    out.Reserve(m_text.size());
    out.Append(Traced(), 0, start).Append(Traced(), next);
    return out;
}

CTracedText CListCursor::InsertAt(std::size_t position, const CTracedView& value) {
    if (value.text().empty()) return CTracedText::Slice(Traced());
    const ListElement e = ElementAt(position);
    CTracedText out;
    out.Reserve(m_text.size() + value.text().size() + 1);
    out.Append(Traced(), 0, e.start).Append(value).AppendLiteral(InsertedDelimiter()).Append(Traced(), e.start);
    return out;
}
