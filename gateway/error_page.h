#pragma once
// KSML's own answer when a request cannot be forwarded: one HTML page listing every failure
// of this run, each also written to the KSML log when it happens.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gateway/gateway_log.h"

namespace ksml {

class ReplyRelay;

struct GatewayError {
    std::string message;
    long number = 0;  // Windows error number; 0 for none
};

// Shown in place of the message for error 109 (the engine dropped the request).
inline constexpr std::string_view kServerBusyText =
    "Server busy or unable to fulfill request<P>The server is unable to fulfill your request due to "
    "extremely high traffic or an unexpected internal error. Please attempt your request again (if "
    "you are repeatedly unsucessful you should notify the site administrator).";

// A text of the system's own (a path, an account name) as it may stand in the page.
std::string PageText(std::string_view text);

// The text of one diagnostic cell: the busy text for 109, else the message followed by
// " <P>Windows NT error number N occurred." when N is not 0.
std::string ErrorDiagnosticText(const GatewayError& error);

// The whole CGI reply: the header (when asked for), one table per error, and the
// administrator's address when one is configured.
std::string FormatErrorPage(const std::vector<GatewayError>& errors, bool withHeader, std::string_view adminEmail);

// The failures of one run. A failure is logged when it happens; the page is written only
// when forwarding fails in the end, so a failed first attempt followed by a successful one
// never puts two replies on standard output.
class ErrorReport {
public:
    explicit ErrorReport(LogSink log) : log_(std::move(log)) {}

    void Add(std::string message, long number);
    // A failure for the page that is not logged again (one about the log itself).
    void AddUnlogged(std::string message, long number) { errors_.push_back({std::move(message), number}); }
    void Warn(std::string_view text);

    bool empty() const { return errors_.empty(); }
    const std::vector<GatewayError>& errors() const { return errors_; }

private:
    LogSink log_;
    std::vector<GatewayError> errors_;
};

// Writes the page for every failure reported so far through the relay: with its own header
// unless the engine's header already went out (then the page continues that reply).
void WriteErrorPage(ReplyRelay& relay, const ErrorReport& errors, std::string_view adminEmail);

}  // namespace ksml
