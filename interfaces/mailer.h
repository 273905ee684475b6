// The contract between the engine's mail spooler and the mailer library libtssmtp.so,
// shared by both sides: the message record the engine hands over, the CMailer object the
// library hands out, and its two exports, which the engine binds by name through the
// types of the declarations below.
#pragma once

#include <string>
#include <utility>

// One mail message as the mailer reads it. The engine's CMailMessage
// (engine/server/mail_message.h) is this record with its spool file form; the mailer
// reads the fields of the object the engine hands it, so their order is the contract:
// keep it.
class MailMessageRecord {
public:
    MailMessageRecord() = default;
    MailMessageRecord(std::string server, int port, int timeout, std::string from, std::string to, std::string cc,
                      std::string subject, std::string extraHeaders, std::string body, std::string attachment)
        : valid(true),
          server(std::move(server)),
          port(port),
          timeout(timeout),
          from(std::move(from)),
          to(std::move(to)),
          cc(std::move(cc)),
          subject(std::move(subject)),
          extraHeaders(std::move(extraHeaders)),
          body(std::move(body)),
          attachment(std::move(attachment)) {}
    virtual ~MailMessageRecord() = default;

    bool valid = false;
    std::string errorText;
    std::string server;  // empty: the Mail\MailServer setting
    int port = -1;       // -1: Mail\SMTPPort
    int timeout = -1;    // seconds; -1: Mail\Timeout
    std::string from;
    std::string to;
    std::string cc;
    std::string subject;
    std::string extraHeaders;  // "Name: value\r\n" lines, then an empty line
    std::string body;
    std::string attachment;
};

class CMailer {
public:
    virtual ~CMailer() = default;
    virtual bool Connect(const char* server, int port) = 0;
    virtual bool SendMessage(MailMessageRecord* message) = 0;
    virtual bool Close() = 0;
    // The text of the last failure; valid until the next call.
    virtual const char* GetErrorText() = 0;
    // The reply code of the server's refusal that ended the last failed call
    // (400-599), or 0 when it failed without one (refused or dropped connection,
    // time-out). Lets the caller keep a message for another try.
    virtual int GetReplyCode() = 0;
};

// What the engine passes as the first argument of CreateSMTPMailer: a way to
// learn, while the mailer waits for the server, that the engine is quitting.
struct MailerWaitControl {
    bool (*quitRequested)(void* context) = nullptr;
    void* context = nullptr;
};

inline constexpr const char* kCreateSMTPMailerName = "CreateSMTPMailer";
inline constexpr const char* kDeleteSMTPMailerName = "DeleteSMTPMailer";

extern "C" {
// control may be null; instance is not used; timeoutSeconds bounds every wait
// for the server. Null when the object cannot be made.
CMailer* CreateSMTPMailer(const MailerWaitControl* control, void* instance, int timeoutSeconds);
// Destroys *mailer when not null and sets it to null.
void DeleteSMTPMailer(CMailer** mailer);
}

// The exports as the engine binds them.
using CreateSMTPMailerProc = decltype(&CreateSMTPMailer);
using DeleteSMTPMailerProc = decltype(&DeleteSMTPMailer);
