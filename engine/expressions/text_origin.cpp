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

void CTextOrigin::MarkValue() {
    m_kind = kValue;
    m_fromValue = true;
    m_mask.reset();
}

CTextOrigin CTextOrigin::FromMarks(std::string marks) {
    const bool anyValue = std::any_of(marks.begin(), marks.end(), [](char c) { return c != 0; });
    const bool anyLiteral = std::any_of(marks.begin(), marks.end(), [](char c) { return c == 0; });
    if (!anyLiteral) return anyValue ? Value() : Literal();
    if (!anyValue) return Literal();
    CTextOrigin mixed(kMixed);
    for (char& c : marks) c = c != 0 ? 1 : 0;
    mixed.m_mask = std::make_unique<std::string>(std::move(marks));
    return mixed;
}

CTextOrigin CTextOrigin::Slice(std::size_t length, std::size_t pos, std::size_t count) const {
    if (m_kind != kMixed) return *this;
    if (m_mask->size() != length) return Value();
    pos = std::min(pos, length);
    count = std::min(count, length - pos);
    return FromMarks(m_mask->substr(pos, count));
}

void CTextOrigin::Reverse() {
    if (m_mask) std::reverse(m_mask->begin(), m_mask->end());
}

const CTextOrigin& CTracedView::LiteralOrigin() {
    static const CTextOrigin origin = CTextOrigin::Literal();
    return origin;
}

const CTextOrigin& CTracedView::ValueOrigin() {
    static const CTextOrigin origin = CTextOrigin::Value();
    return origin;
}

CTracedText::CTracedText(std::string text, CTextOrigin origin) : m_text(std::move(text)), m_origin(std::move(origin)) {
    if (!m_origin.Fits(m_text.size())) m_origin.MarkValue();
}

void CTracedText::AppendOrigin(const CTextOrigin& piece, std::size_t count) {
    // Called after the characters were appended: the text is `count` longer than the marks.
    if (m_allValue) return;
    const std::size_t before = m_text.size() - count;
    const bool fromValue = m_origin.m_fromValue || piece.m_fromValue;
    if (count == 0) {
        m_origin.m_fromValue = fromValue;
        return;
    }
    if (before == 0 && m_origin.m_kind != CTextOrigin::kMixed) {
        m_origin = piece;
        m_origin.m_fromValue = fromValue;
        return;
    }
    if (piece.m_kind != CTextOrigin::kMixed && piece.m_kind == m_origin.m_kind) {
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
    if (piece.m_kind == CTextOrigin::kMixed)
        *m_origin.m_mask += *piece.m_mask;
    else
        m_origin.m_mask->append(count, piece.m_kind == CTextOrigin::kValue ? 1 : 0);
    m_origin.m_fromValue = true;
}

CTracedText& CTracedText::Append(const CTracedView& source, std::size_t pos, std::size_t count) {
    const std::size_t length = source.text.size();
    pos = std::min(pos, length);
    count = std::min(count, length - pos);
    m_text.append(source.text.substr(pos, count));
    const CTextOrigin& origin = *source.origin;
    if (origin.m_kind == CTextOrigin::kMixed)
        AppendOrigin(origin.Slice(length, pos, count), count);
    else
        AppendOrigin(origin, count);
    return *this;
}

CTracedText& CTracedText::AppendUniform(std::string_view characters, bool fromValue) {
    m_text.append(characters);
    AppendOrigin(fromValue ? CTracedView::ValueOrigin() : CTracedView::LiteralOrigin(), characters.size());
    return *this;
}

void CTracedText::Reverse() {
    std::reverse(m_text.begin(), m_text.end());
    m_origin.Reverse();
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
        if (in[i] == '\'' && origin.IsValueAt(i)) out += '\'';
    }
    return out;
}
