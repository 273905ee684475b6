// The interface between the engine's mail spooler and the mailer library
// libtssmtp.so, shared by both sides: the CMailer object the library hands out,
// its two exports and the message record (engine/server/mail_message.h).
#pragma once

#include "engine/server/mail_message.h"

class CMailer {
public:
    virtual ~CMailer() = default;
    virtual bool Connect(const char* server, int port) = 0;
    virtual bool SendMessage(CMailMessage* message) = 0;
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
using CreateSMTPMailerProc = CMailer* (*)(const MailerWaitControl* control, void* instance, int timeoutSeconds);
// Destroys *mailer when not null and sets it to null.
using DeleteSMTPMailerProc = void (*)(CMailer** mailer);
}
