// The two exports of libtssmtp.so (declared in interfaces/mailer.h), bound by name by the
// engine's mail spooler.
#include <new>

#include "mailer/smtp_mailer.h"

extern "C" {

__attribute__((visibility("default"))) CMailer* CreateSMTPMailer(const MailerWaitControl* control, void*,
                                                                 int timeoutSeconds) {
    return new (std::nothrow) CSMTPMailer(control, timeoutSeconds);
}

__attribute__((visibility("default"))) void DeleteSMTPMailer(CMailer** mailer) {
    if (!mailer || !*mailer) return;
    delete *mailer;
    *mailer = nullptr;
}
}
