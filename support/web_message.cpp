#include "support/web_message.h"

#include <utility>

#include "support/html_escape.h"
#include "support/quoted_excerpt.h"

CWebMessage::CWebMessage(const CWebMessage& other)
    : m_markup(other.m_markup), m_html(other.m_html ? new std::string(*other.m_html) : nullptr) {}

CWebMessage::CWebMessage(CWebMessage&& other) noexcept
    : m_markup(other.m_markup), m_html(std::exchange(other.m_html, nullptr)) {}

CWebMessage& CWebMessage::operator=(const CWebMessage& other) {
    if (this != &other) *this = CWebMessage(other);
    return *this;
}

CWebMessage& CWebMessage::operator=(CWebMessage&& other) noexcept {
    if (this != &other) {
        delete m_html;
        m_markup = other.m_markup;
        m_html = std::exchange(other.m_html, nullptr);
    }
    return *this;
}

CWebMessage CWebMessage::FromHtml(std::string html) {
    CWebMessage message;
    message.m_html = new std::string(std::move(html));
    return message;
}

CWebMessage CWebMessage::Value(std::string_view text) {
    CWebMessage message;
    message.AppendValue(text);
    return message;
}

CWebMessage CWebMessage::FillValues(const CWebMessage& pattern, std::initializer_list<std::string_view> values) {
    const std::string markup = pattern.Html();
    CWebMessage out = FromHtml(std::string());
    const std::string_view* next = values.begin();
    std::size_t from = 0;
    for (std::size_t at = markup.find("%s"); at != std::string::npos && next != values.end();
         at = markup.find("%s", from)) {
        out.Own().append(markup, from, at - from);
        out.AppendValue(*next++);
        from = at + 2;
    }
    out.Own().append(markup, from, std::string::npos);
    return out;
}

std::string& CWebMessage::Own() {
    if (m_html == nullptr) m_html = new std::string(m_markup ? m_markup : "");
    return *m_html;
}

CWebMessage& CWebMessage::operator+=(const CWebMessage& more) {
    if (more.m_html != nullptr)
        Own() += *more.m_html;
    else if (more.m_markup != nullptr)
        Own() += more.m_markup;
    return *this;
}

CWebMessage& CWebMessage::AppendValue(std::string_view value) {
    // Cut before it is escaped: the mark never falls inside a character reference.
    Own() += HtmlEscape(QuotedExcerpt(value));
    return *this;
}

std::string CWebMessage::Html() const {
    if (m_html != nullptr) return *m_html;
    return m_markup ? std::string(m_markup) : std::string();
}

bool CWebMessage::Empty() const {
    return m_html != nullptr ? m_html->empty() : (m_markup == nullptr || *m_markup == '\0');
}
