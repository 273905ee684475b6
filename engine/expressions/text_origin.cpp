#include "engine/expressions/text_origin.h"

#include <algorithm>

#include "engine/expressions/odbc_literal.h"

CTextOrigin& CTextOrigin::CopyMixed(const CTextOrigin& other) {
    if (this == &other) return *this;
    m_kind = other.m_kind;
    m_fromValue = other.m_fromValue;
    if (other.m_mask)
        m_mask = std::make_unique<std::string>(*other.m_mask);
    else
        m_mask.reset();
    return *this;
}

const CTextOrigin& CTracedView::LiteralOrigin() {
    static const CTextOrigin origin;
    return origin;
}

const CTextOrigin& CTracedView::ValueOrigin() {
    static const CTextOrigin origin(CTextOrigin::kValue);
    return origin;
}

CTracedView CTracedView::Sub(std::size_t pos, std::size_t count) const {
    pos = std::min(pos, m_text.size());
    count = std::min(count, m_text.size() - pos);
    return CTracedView(m_text.substr(pos, count), m_origin, m_offset + pos);
}

std::string CTracedText::TakeText() {
    std::string text = std::move(m_text);
    m_text.clear();
    m_origin = CTextOrigin();
    m_allValue = false;
    return text;
}

void CTracedText::AppendOrigin(const CTracedView& piece, std::size_t count) {
    // Called after the characters were appended: the text is `count` longer than the marks.
    if (m_allValue) return;
    const std::size_t before = m_text.size() - count;
    const CTextOrigin& from = *piece.m_origin;
    // The piece's own kind: a part of a mixed text may be of one origin, and then tells of
    // no value beyond its characters (the cut is its caller's to judge).
    CTextOrigin::Kind kind = from.m_kind;
    bool pieceFromValue = from.m_fromValue;
    if (kind == CTextOrigin::kMixed) {
        const auto first = from.m_mask->begin() + static_cast<std::ptrdiff_t>(piece.m_offset);
        const auto last = first + static_cast<std::ptrdiff_t>(count);
        const bool anyValue = std::find(first, last, 1) != last;
        const bool anyLiteral = std::find(first, last, 0) != last;
        if (!anyLiteral) kind = CTextOrigin::kValue;
        if (!anyValue) kind = CTextOrigin::kLiteral;
        pieceFromValue = anyValue;
    }
    const bool fromValue = m_origin.m_fromValue || pieceFromValue;
    if (count == 0) {
        m_origin.m_fromValue = fromValue;
        return;
    }
    if (m_origin.m_kind != CTextOrigin::kMixed && (before == 0 || kind == m_origin.m_kind) &&
        kind != CTextOrigin::kMixed) {
        m_origin.m_kind = kind;
        m_origin.m_fromValue = fromValue;
        return;
    }
    if (m_origin.m_kind != CTextOrigin::kMixed) {
        auto mask = std::make_unique<std::string>();
        mask->reserve(m_text.capacity());
        mask->assign(before, m_origin.m_kind == CTextOrigin::kValue ? 1 : 0);
        m_origin.m_mask = std::move(mask);
        m_origin.m_kind = CTextOrigin::kMixed;
    }
    if (kind == CTextOrigin::kMixed)
        m_origin.m_mask->append(*from.m_mask, piece.m_offset, count);
    else
        m_origin.m_mask->append(count, kind == CTextOrigin::kValue ? 1 : 0);
    m_origin.m_fromValue = true;
}

CTracedText& CTracedText::Append(const CTracedView& source, std::size_t pos, std::size_t count) {
    const CTracedView piece = source.Sub(pos, count);
    m_text.append(piece.m_text);
    AppendOrigin(piece, piece.size());
    return *this;
}

CTracedText& CTracedText::AppendUniform(std::string_view characters, bool fromValue) {
    m_text.append(characters);
    AppendOrigin(fromValue ? CTracedView::Value(characters) : CTracedView::Literal(characters), characters.size());
    return *this;
}

void CTracedText::Reverse() {
    std::reverse(m_text.begin(), m_text.end());
    if (m_origin.m_mask) std::reverse(m_origin.m_mask->begin(), m_origin.m_mask->end());
}

void CTracedText::MapKeepingLength(void (*map)(std::string&)) {
    const std::size_t length = m_text.size();
    map(m_text);
    if (m_text.size() != length) MarkValue();
}

void CTracedText::ReplaceText(std::string text) {
    m_text = std::move(text);
    if (m_origin.IsMixed()) m_origin.SetUniform(true, true);
}

std::string QuoteValuesForSql(CTracedText text) {
    const CTextOrigin& origin = text.Origin();
    if (!origin.FromValue() || text.Text().find('\'') == std::string::npos || IsWholeOdbcDateLiteral(text.Text()))
        return text.TakeText();
    const std::string& in = text.Text();
    std::string out;
    out.reserve(in.size() + 8);
    for (std::size_t i = 0; i < in.size(); ++i) {
        out += in[i];
        if (in[i] == '\'' && text.IsValueAt(i)) out += '\'';
    }
    return out;
}
