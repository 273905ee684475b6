#include "mailer/smtp_mailer.h"

#include <cctype>
#include <climits>

#include "mailer/mail_text.h"
#include "platform/ascii_text.h"

namespace {

int TimeoutMilliseconds(int seconds) {
    if (seconds <= 0) return 1000;
    return seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000;
}

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(start, comma - start);
        std::size_t first = item.find_first_not_of(" \t");
        std::size_t last = item.find_last_not_of(" \t");
        if (first != std::string::npos) items.push_back(item.substr(first, last - first + 1));
        start = comma + 1;
    }
    return items;
}

// True when one of the header lines ("Name: value\r\n" each) has this name, in any case.
bool HasHeader(const std::string& lines, const std::string& name) {
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find("\r\n", start);
        if (end == std::string::npos) end = lines.size();
        if (end - start > name.size() && lines[start + name.size()] == ':') {
            if (tessaro::platform::EqualsNoCase(std::string_view(lines).substr(start, name.size()), name)) return true;
        }
        start = end + 2;
    }
    return false;
}

}  // namespace

CSMTPMailer::CSMTPMailer(const MailerWaitControl* control, int timeoutSeconds)
    : m_control(control ? *control : MailerWaitControl{}),
      m_smtp([this] { return m_control.quitRequested != nullptr && m_control.quitRequested(m_control.context); },
             TimeoutMilliseconds(timeoutSeconds)) {}

bool CSMTPMailer::Fail(const std::string& mainError, const std::string& context) {
    m_mainError = mainError;
    m_context = context;
    m_statusText = NetvaneStatusText(m_smtp.Error().code);
    m_detail = m_smtp.Error().text;
    m_replyCode = m_smtp.RefusalCode();
    return false;
}

bool CSMTPMailer::Connect(const char* server, int port) {
    std::string host = server ? server : "";
    m_replyCode = 0;
    if (m_smtp.Connect(host, port)) return true;
    return Fail(m_smtp.RefusedAtOnce() ? "Error occurred while attempting to connect to mail server (Connect returned FALSE)."
                                       : "Error occurred while attempting to connect to mail server.",
                "Server = '" + host + "'");
}

bool CSMTPMailer::SendMessage(MailMessageRecord* message) {
    m_replyCode = 0;
    std::string recipients = message->to;
    if (!message->cc.empty()) recipients += "," + message->cc;
    std::string context = "Sender = '" + message->from + "', Recipients = '" + recipients + "'";
    for (const std::string* field :
         {&message->from, &message->to, &message->cc, &message->subject, &message->attachment}) {
        if (HasLineBreak(*field)) {
            // Never sent: a line break would add header lines or SMTP commands.
            m_mainError = "Error occurred while attempting to send mail message.";
            m_statusText = NetvaneStatusText(NV_ERROR);
            m_detail = "A sender, recipient, subject or attachment contains a line break";
            m_context = context;
            m_replyCode = -1;
            return false;
        }
    }
    SmtpMailRequest request;
    request.sender = message->from;
    request.recipients = SplitList(recipients);
    request.attachments = SplitList(message->attachment);
    // RFC 5322 asks for a Date; deliverability wants a Message-ID beside it.
    if (!request.attachments.empty()) {
        request.writeDate = true;
        request.writeHeaders = true;
        request.subject = message->subject;
        request.text = message->body;
        request.types.assign(request.attachments.size(), "M");
    } else {
        // The text is the whole message, header block included.
        request.text = "Date: " + SmtpDateValue() + "\r\nMessage-ID: " + SmtpMessageId(message->from) + "\r\n";
        request.text += "From: " + message->from + "\r\nTo: " + message->to + "\r\n";
        if (!message->cc.empty()) request.text += "CC: " + message->cc + "\r\n";
        request.text += "Subject: " + EncodeHeaderText(message->subject) + "\r\n";
        // Text that is not 7-bit says what it is instead of passing for us-ascii.
        std::string extra = message->extraHeaders;
        BodyEncoding body = EncodeBody(message->body, m_smtp.Supports8BitMime());
        const std::string claimed7bit = "Content-Transfer-Encoding: 7bit\r\n";
        const bool engineClaims = extra.find(claimed7bit) != std::string::npos;
        // An encoding the template named itself is the author's: the body goes as written.
        if (HasHeader(extra, "Content-Transfer-Encoding") && !engineClaims) body = {"", "7bit", message->body};
        if (body.transfer != "7bit") {
            // The engine's HTML lines claim us-ascii and 7bit for every body: they are put right.
            for (std::size_t at; (at = extra.find("charset=us-ascii")) != std::string::npos;)
                extra.replace(at, 16, "charset=" + body.charset);
            if (engineClaims)
                extra.replace(extra.find(claimed7bit), claimed7bit.size(),
                              "Content-Transfer-Encoding: " + body.transfer + "\r\n");
            if (!HasHeader(extra, "MIME-Version")) request.text += "MIME-Version: 1.0\r\n";
            if (!HasHeader(extra, "Content-Type"))
                request.text += "Content-Type: text/plain; charset=\"" + body.charset + "\"\r\n";
            if (!HasHeader(extra, "Content-Transfer-Encoding"))
                request.text += "Content-Transfer-Encoding: " + body.transfer + "\r\n";
        }
        request.text += extra + body.text;
    }
    if (m_smtp.Mail(request)) return true;
    return Fail(m_smtp.MailRefusedAtOnce() ? "Error occurred while attempting to send mail message (Mail returned FALSE)."
                                           : "Error occurred while attempting to send mail message.",
                context);
}

bool CSMTPMailer::Close() {
    m_replyCode = 0;
    if (m_smtp.Quit()) return true;
    return Fail("Error occurred while attempting to close connection.", m_context);
}

const char* CSMTPMailer::GetErrorText() {
    m_errorText = m_mainError + " - " + m_statusText;
    if (!m_detail.empty()) m_errorText += " (" + m_detail + ") ";
    m_errorText += " - " + m_context;
    return m_errorText.c_str();
}
