// The engine's error object: a short message, an HTML detail and an optional page
// that replaces the whole reply. Thrown by pointer; the catcher calls Delete(). Message and
// detail are CWebMessage: values quoted in them are escaped as they join.
#pragma once

#include <string>

#include "platform/framework_exception.h"
#include "support/web_message.h"

class CWebException : public CException {
public:
    // message and detail each get "<P>" appended; pageText is kept as given.
    CWebException(const CWebMessage& message, const CWebMessage& detail, const std::string& pageText = std::string());
    ~CWebException() override;

    // detail += text + "<P>".
    void AppendDetail(const CWebMessage& text);
    // Puts text (such as where in the template the error is) before the detail.
    void PrependDetail(const CWebMessage& text) { m_detail = text.Html() + m_detail; }

    const std::string& GetMessage() const { return m_message; }
    const std::string& GetDetail() const { return m_detail; }
    const std::string& GetPageText() const { return m_pageText; }
    // The HTTP status the error page answers with: 500 unless the cause says otherwise
    // (404 for a template that does not exist).
    int GetHttpStatus() const { return m_httpStatus; }
    void SetHttpStatus(int status) { m_httpStatus = status; }
    const char* GetTypeName() const override { return "CWebException"; }
    // message + " " + detail, the text of the page's diagnostic box.
    std::string GetErrorMessage() const override;

private:
    std::string m_message;
    std::string m_detail;
    std::string m_pageText;
    int m_httpStatus = 500;
};

class CWebODBCException : public CWebException {
public:
    CWebODBCException(const CWebMessage& message, const CWebMessage& detail)
        : CWebException(message, detail, std::string()) {}
    const char* GetTypeName() const override { return "CWebODBCException"; }
};
