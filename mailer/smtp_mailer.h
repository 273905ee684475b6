// The mailer object libtssmtp.so hands to the engine: connect, send one message,
// close, and the text of the last failure in the form the engine logs:
//   main error - status text (detail)  - context
#pragma once

#include <string>

#include "interfaces/mailer.h"
#include "mailer/netvane_smtp.h"

class CSMTPMailer : public CMailer {
public:
    // timeoutSeconds bounds each wait for the server; control (may be null)
    // tells when the engine quits.
    CSMTPMailer(const MailerWaitControl* control, int timeoutSeconds);

    bool Connect(const char* server, int port) override;
    bool SendMessage(MailMessageRecord* message) override;
    bool Close() override;
    const char* GetErrorText() override;
    int GetReplyCode() override { return m_replyCode; }

private:
    bool Fail(const std::string& mainError, const std::string& context);

    MailerWaitControl m_control;
    CNetvaneSMTP m_smtp;
    int m_replyCode = 0;
    std::string m_mainError, m_statusText, m_detail, m_context, m_errorText;
};
