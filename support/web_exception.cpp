#include "support/web_exception.h"

CWebException::CWebException(const std::string& message, const std::string& detail, const std::string& pageText)
    : m_message(message + "<P>"), m_detail(detail + "<P>"), m_pageText(pageText) {}

CWebException::~CWebException() = default;

void CWebException::AppendDetail(const std::string& text) {
    m_detail += text;
    m_detail += "<P>";
}

std::string CWebException::GetErrorMessage() const {
    return m_message + " " + m_detail;
}
