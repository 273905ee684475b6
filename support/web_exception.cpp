#include "support/web_exception.h"

CWebException::CWebException(const CWebMessage& message, const CWebMessage& detail, const std::string& pageText)
    : m_message(message.Html() + "<P>"), m_detail(detail.Html() + "<P>"), m_pageText(pageText) {}

CWebException::~CWebException() = default;

void CWebException::AppendDetail(const CWebMessage& text) {
    m_detail += text.Html();
    m_detail += "<P>";
}

std::string CWebException::GetErrorMessage() const {
    return m_message + " " + m_detail;
}
