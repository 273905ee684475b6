#include "engine/templates/core/section_mail.h"

#include "engine/server/mail_message.h"
#include "engine/server/mail_spooler.h"
#include "support/web_exception.h"

void SpoolSectionMail(TSMail* spooler, const SectionMailMessage& m) {
    CMailMessage message(m.server, m.port, m.timeout, m.from, m.to, m.cc, m.subject,
                         TSMail::BuildMimeHeaders(m.html ? 1 : 0), m.body, m.attachment);
    std::string error;
    if (spooler == nullptr)
        error = "Error occurred while attempting to spool mail message to file (spool directory = '', recipient='" +
                m.to + "', subject='" + m.subject + "')";
    else if (spooler->PersistMessage(message, error))
        return;
    const std::string reason = message.GetTextField();
    throw new CWebException(
        CWebMessage::Value(error),
        reason.empty() ? CWebMessage("The mail message to ") + m.to + " was not spooled." : CWebMessage::Value(reason));
}

void NotifySectionMailPosted(TSMail* spooler) {
    if (spooler != nullptr) PostMailReady(*spooler);
}
