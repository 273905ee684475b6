#include "gateway/error_page.h"

#include "gateway/reply_relay.h"
#include "platform/error_words.h"
#include "platform/win32_error.h"

namespace ksml {

namespace {

// The page, and the messages it quotes, are UTF-8.
constexpr std::string_view kPageHeader = "Content-type: text/html; charset=utf-8\n\n";
// The page reports a failure, and says so in its HTTP status too: busy (error 109) is a
// passing condition, and so is a site taken down by removing the engine service (1060, or
// 1072 while the removed service stops); everything else is a failure of the server.
constexpr std::string_view kBusyStatus = "Status: 503 Service Unavailable\n";
constexpr std::string_view kFailureStatus = "Status: 500 Internal Server Error\n";
constexpr std::string_view kPageStart =
    "<HTML><HEAD><TITLE>Error Occurred While Processing Request</TITLE></HEAD>"
    "<BODY><HR><H3>Error Occurred While Processing Request</H3><P> ";
constexpr std::string_view kTableStart = "<TABLE BORDER><TR><TD><H4>Error Diagnostic Information</H4><P>";
constexpr std::string_view kTableEnd = "<P></TD></TR></TABLE><P>\n";
constexpr std::string_view kPageEnd = "</BODY></HTML>";
// Log lines stay below this length, as they always have.
constexpr size_t kLogTextLimit = 2048;

// A log line is plain text: the page's markup goes, each tag leaving one blank between the
// words it separated.
std::string PlainLogText(std::string_view html) {
    std::string text;
    bool inTag = false;
    for (char c : html) {
        if (inTag) {
            inTag = c != '>';
            if (!inTag && !text.empty() && text.back() != ' ') text += ' ';
            continue;
        }
        if (c == '<') {
            inTag = true;
            continue;
        }
        if (c == ' ' && !text.empty() && text.back() == ' ') continue;
        text += c;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

std::string PageText(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string ErrorDiagnosticText(const GatewayError& error) {
    if (error.number == 109) return std::string(kServerBusyText);
    std::string text = error.message;
    if (error.number == 0) return text;
    text += " <P>Windows NT error number " + std::to_string(error.number) + " occurred";
    if (const char* words = tessaro::platform::ErrorWords(error.number)) text += std::string(" (") + words + ")";
    text += ".";
    return text;
}

std::string FormatErrorPage(const std::vector<GatewayError>& errors, bool withHeader, std::string_view adminEmail) {
    std::string page;
    if (withHeader) {
        bool busy = false;
        for (const GatewayError& error : errors)
            busy = busy || error.number == 109 || error.number == tessaro::platform::ERROR_SERVICE_DOES_NOT_EXIST ||
                   error.number == tessaro::platform::ERROR_SERVICE_MARKED_FOR_DELETE;
        page += busy ? kBusyStatus : kFailureStatus;
        page += kPageHeader;
    }
    page += kPageStart;
    for (const GatewayError& error : errors) {
        page += kTableStart;
        page += ErrorDiagnosticText(error);
        page += kTableEnd;
    }
    page += kPageEnd;
    if (!adminEmail.empty()) {
        page += "Please inform the <a href=\"mailto:";
        page += adminEmail;
        page +=
            "\">site administrator</a> that this error has occurred (be sure to "
            "include the contents of this page in your message to the administrator).<P><HR>";
    }
    return page;
}

void ErrorReport::Add(std::string message, long number) {
    GatewayError error{std::move(message), number};
    std::string text = ErrorDiagnosticText(error);
    if (log_ && text.size() < kLogTextLimit) log_("Error", PlainLogText(text));
    errors_.push_back(std::move(error));
}

void ErrorReport::Warn(std::string_view text) {
    if (log_) log_("Warning", text);
}

void WriteErrorPage(ReplyRelay& relay, const ErrorReport& errors, std::string_view adminEmail) {
    // A header the engine began but never finished is dropped: the page brings its own.
    relay.DiscardPendingHeader();
    bool withHeader = !relay.header_done();
    relay.WriteReplyText(FormatErrorPage(errors.errors(), withHeader, adminEmail));
}

}  // namespace ksml
