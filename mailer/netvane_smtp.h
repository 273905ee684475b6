// The SMTP client under the mailer: composes one message (with its attachments
// as a MIME multipart body) and speaks the dialogue greeting, EHLO (HELO when the
// server refuses it), MAIL (or SEND, SOML, SAML), RCPT, DATA and QUIT, one reply at
// a time. Replies are read to their final line. What the asynchronous component
// announced as events arrives here as calls on a listener.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "mailer/netvane_socket.h"

// The command that opens a message.
enum SmtpOpener { kSmtpMail = 0, kSmtpSend = 1, kSmtpSoml = 2, kSmtpSaml = 3 };

struct SmtpMailRequest {
    SmtpOpener opener = kSmtpMail;
    std::string sender;
    std::vector<std::string> recipients;
    // With writeHeaders the client writes From and To/CC itself; a subject is written
    // whenever one is given (as encoded words when it is not 7-bit). When the client
    // writes any header line, an empty line follows the block and the text is the body;
    // otherwise the text carries any header block itself.
    std::string subject;
    bool writeHeaders = false;
    // A Date line (RFC 5322, local time with its offset) and a Message-ID line first.
    bool writeDate = false;
    std::string text;
    std::vector<std::string> attachments;  // file paths
    // One per attachment: "M" Base64, "U" uuencode, " " sent as text; missing ones are "M".
    std::vector<std::string> types;
};

inline constexpr const char* kMimeBoundary = "==========_080815456==_";

// What the client reports while it works. Every call comes on the caller's thread,
// inside Mail or Quit.
class SmtpListener {
public:
    virtual ~SmtpListener() = default;
    // A command went out completely (its word: "MAIL", "RCPT", "DATA", "QUIT", ...);
    // the greeting's EHLO or HELO is not reported.
    virtual void OnCommandSent(const std::string& word) { (void)word; }
    // Attachment progress: an empty file and 0 as each attachment starts, then the
    // attachment's path and the percent of all attachment bytes sent (at most 99),
    // and 100 when the last one is complete.
    virtual void OnProgress(const std::string& file, int percent) {
        (void)file;
        (void)percent;
    }
};

class CNetvaneSMTP {
public:
    CNetvaneSMTP(CNetvaneSocket::QuitCheck quit, int timeoutMs) : m_socket(std::move(quit)), m_timeoutMs(timeoutMs) {}

    void SetListener(SmtpListener* listener) { m_listener = listener; }

    // Connects, takes the greeting and says EHLO, or HELO when the server refuses
    // EHLO. options as for CNetvaneSocket::Connect (kNetvaneDebugTrace).
    bool Connect(const std::string& host, int port, int options = 0, const std::string& traceFolder = std::string());
    // True when the last Connect was refused before any network step.
    bool RefusedAtOnce() const { return m_socket.RefusedAtOnce(); }
    // True when the server announced 8BITMIME in its EHLO reply.
    bool Supports8BitMime() const { return m_8bitMime; }
    // The opening command, one RCPT per recipient, DATA and the message.
    bool Mail(const SmtpMailRequest& request);
    // True when the last Mail was refused before anything was sent (no sender or
    // recipient, an attachment that cannot be read).
    bool MailRefusedAtOnce() const { return m_mailRefused; }
    // QUIT, then waits for the reply or the server's close; immediate drops the connection
    // at once without a word.
    bool Quit(bool immediate = false);

    const NetvaneError& Error() const { return m_socket.Error(); }
    // The code of the server's refusal that ended the last failed call; 0 when
    // none; -1 when the message itself could not be composed or was refused before
    // anything was sent.
    int RefusalCode() const { return m_refusal; }
    const std::string& TraceFile() const { return m_socket.TraceFile(); }

    // The message text the client sends after DATA, before line ends and dots are
    // made safe; false with the error when an attachment cannot be read.
    bool Compose(const SmtpMailRequest& request, std::string& text);

private:
    // One piece of the message text; attachment pieces count toward progress.
    struct Piece {
        std::string text;
        int attachment = -1;       // index of the attachment whose bytes it carries
        std::size_t source = 0;    // attachment bytes it carries
        bool startsAttachment = false;
    };
    bool ComposePieces(const SmtpMailRequest& request, std::vector<Piece>& pieces, std::size_t& attachmentBytes);
    bool Command(const std::string& line, char expectedClass, const std::string& word);
    bool ReadReply(int& code, std::string& text);
    bool SendText(const std::vector<Piece>& pieces, std::size_t attachmentBytes, const SmtpMailRequest& request);

    CNetvaneSocket m_socket;
    int m_timeoutMs;
    std::string m_pending;
    int m_refusal = 0;
    bool m_8bitMime = false;
    bool m_mailRefused = false;
    SmtpListener* m_listener = nullptr;
};

// The Date header's value for now: "Thu, 10 Dec 2026 06:37:31 +0100" (local time).
std::string SmtpDateValue();
// A fresh Message-ID value "<...@domain>", the domain taken from the sender's address.
std::string SmtpMessageId(const std::string& sender);
