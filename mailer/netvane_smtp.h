// The SMTP client under the mailer: composes one message (with its attachments
// as a MIME multipart body) and speaks the dialogue greeting, HELO, MAIL, RCPT,
// DATA and QUIT, one reply at a time. Replies are read to their final line.
#pragma once

#include <string>
#include <vector>

#include "mailer/netvane_socket.h"

struct SmtpMailRequest {
    std::string sender;
    std::vector<std::string> recipients;
    // With attachments the client writes From, To/CC and Subject itself.
    std::string subject;
    bool writeHeaders = false;
    std::string text;
    std::vector<std::string> attachments;  // file paths, each sent Base64-encoded
};

inline constexpr const char* kMimeBoundary = "==========_080815456==_";

class CNetvaneSMTP {
public:
    CNetvaneSMTP(CNetvaneSocket::QuitCheck quit, int timeoutMs) : m_socket(std::move(quit)), m_timeoutMs(timeoutMs) {}

    // Connects, takes the greeting and says HELO.
    bool Connect(const std::string& host, int port);
    // MAIL, one RCPT per recipient, DATA and the message.
    bool Mail(const SmtpMailRequest& request);
    // QUIT, then waits for the reply or the server's close.
    bool Quit();

    const NetvaneError& Error() const { return m_socket.Error(); }
    // The code of the server's refusal that ended the last failed call; 0 when
    // none; -1 when the message itself could not be composed.
    int RefusalCode() const { return m_refusal; }

    // The message text the client sends after DATA, before line ends and dots are
    // made safe; false with the error when an attachment cannot be read.
    bool Compose(const SmtpMailRequest& request, std::string& text);

private:
    bool Command(const std::string& line, char expectedClass);
    bool ReadReply(int& code, std::string& text);

    CNetvaneSocket m_socket;
    int m_timeoutMs;
    std::string m_pending;
    int m_refusal = 0;
};
