#include "engine/templates/section_mail_spool.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "support/html_escape.h"
#include "support/web_exception.h"
#include "platform/home.h"

namespace {

std::mutex g_spoolerLock;
MailSpooler g_spooler;

// Until the mail spooler takes the messages, each one is kept as a text file
// in Mail/SPOOL below the engine's home.
bool SpoolToFile(const SectionMailMessage& m, std::string& error) {
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::path(tessaro::platform::TessaroHome()) / "Mail" / "SPOOL";
    std::filesystem::create_directories(dir, ec);
    auto now = std::chrono::system_clock::now().time_since_epoch().count();
    std::filesystem::path file = dir / ("TS" + std::to_string(now) + "_" + std::to_string(++counter) + ".MSG");
    std::ofstream out(file, std::ios::binary);
    out << "Server: " << m.server << "\n"
        << "Port: " << m.port << "\n"
        << "Timeout: " << m.timeout << "\n"
        << "From: " << m.from << "\n"
        << "To: " << m.to << "\n"
        << "Cc: " << m.cc << "\n"
        << "Subject: " << m.subject << "\n"
        << "Type: " << (m.html ? "text/html" : "text/plain") << "\n"
        << "Attach: " << m.attachment << "\n\n"
        << m.body;
    if (!out) {
        error = "Unable to spool the mail message.";
        return false;
    }
    return true;
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
    bool spooled = spooler ? spooler(message, error) : SpoolToFile(message, error);
    if (!spooled) throw new CWebException(error, "The mail message to " + HtmlEscape(message.to) + " was not spooled.");
}
