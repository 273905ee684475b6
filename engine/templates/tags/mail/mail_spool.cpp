#include "engine/templates/tags/mail/mail_spool.h"

#include <mutex>

#include "support/web_exception.h"
#include "engine/server/mail_message.h"
#include "engine/server/mail_spooler.h"

namespace {

std::mutex g_spoolerLock;
MailSpooler g_spooler;

thread_local std::string lastMailError;

// The engine's spooler writes the message as a spool file for its delivery pass.
bool SpoolThroughSpooler(const SectionMailMessage& m, std::string& error) {
    CMailMessage message(m.server, m.port, m.timeout, m.from, m.to, m.cc, m.subject,
                         TSMail::BuildMimeHeaders(m.html ? 1 : 0), m.body, m.attachment);
    if (SpoolMailMessage(message, error)) return true;
    lastMailError = message.GetTextField();
    return false;
}

}  // namespace

void SetMailSpooler(MailSpooler spooler) {
    std::lock_guard<std::mutex> hold(g_spoolerLock);
    g_spooler = std::move(spooler);
}

void SpoolSectionMail(const SectionMailMessage& message) {
    MailSpooler spooler;
    {
        std::lock_guard<std::mutex> hold(g_spoolerLock);
        spooler = g_spooler;
    }
    std::string error;
    lastMailError.clear();
    bool spooled = spooler ? spooler(message, error) : SpoolThroughSpooler(message, error);
    if (!spooled)
        throw new CWebException(CWebMessage::Value(error), lastMailError.empty() ? CWebMessage("The mail message to ") +
                                                                                       message.to + " was not spooled."
                                                                                 : CWebMessage::Value(lastMailError));
}

void NotifySectionMailPosted() {
    {
        // An installed spooler of its own (tests) takes no engine notice.
        std::lock_guard<std::mutex> hold(g_spoolerLock);
        if (g_spooler) return;
    }
    PostMailReady();
}
