// ksml: the CGI program the web server runs for every template request. It hands the
// request to tsengine and relays the reply; its exit status is always 0, since a failure
// is answered with an HTML page.

#include <string>

#include "gateway/engine_service.h"
#include "gateway/forward_request.h"
#include "gateway/visitor_watch.h"
#include "platform/descriptor.h"
#include "platform/home.h"
#include "platform/process_environment.h"
#include "platform/runtime_root_owner.h"
#include "support/registry.h"
#include "support/trace_log.h"

#ifdef KSML_STATIC_LINK
struct addrinfo;
// ksml loads no libraries and looks up no host names; only SQLite's extension loading and
// the platform's table of system calls, neither of which it uses for them, refer to the
// loader and the name lookup. The link sends those references here (--wrap) instead of to
// the static C library's, which would only work with the very glibc ksml was built against.
extern "C" void* __wrap_dlopen(const char*, int) {
    return nullptr;
}
extern "C" int __wrap_getaddrinfo(const char*, const char*, const addrinfo*, addrinfo**) {
    return -4;  // EAI_FAIL
}
#endif

namespace {

constexpr std::size_t kAdminEmailLimit = 2047;

std::string ReadAdminEMail() {
    std::string address = ReadTessaroSetting("Logging", "AdminEMail", "");
    if (address.size() > kAdminEmailLimit) address.resize(kAdminEmailLimit);
    return address;
}

}  // namespace

int main(int, char**, char** environment) {
    // A web server may tell the gateway that its visitor has gone by a signal or by closing
    // the output (a write to it raises SIGPIPE): the gateway ends at once, and its closed
    // connection ends the engine's work on the request. One that tells nothing (lighttpd)
    // is caught out by the visitor watch while the gateway waits.
    tessaro::platform::EndProcessOnLeaveSignals();
    // Run by root (a web server that keeps root for its programs), the gateway works as the
    // account the runtime root belongs to, so that what it writes there stays that account's.
    tessaro::platform::GiveUpRootForRuntimeRoot();
    try {
        const ksml::GatewaySettings settings = ksml::GatewaySettingsFromEnvironment();
        std::string logProblem;
        ksml::LogSink log = [&logProblem](std::string_view severity, std::string_view text) {
            const TraceLogOutcome outcome = WriteTraceLogChecked("KSML", std::string(severity), std::string(text));
            if (!outcome.written)
                ksml::ReportUnwritableLog(outcome.file, outcome.error, outcome.settingsUnreadable,
                                          tessaro::platform::HomePath("registry.db"), severity, text, &logProblem);
        };
        ksml::ServiceManagerEngine engine(settings);
        ksml::GatewayState state(settings, log, ksml::WebServerOutput(tessaro::platform::kStandardOutput, log), engine);
        state.web_server_output = tessaro::platform::kStandardOutput;
        ksml::VisitorWatch visitor(environment);
        if (visitor.Watching()) state.visitor_left = [&visitor] { return visitor.Left(); };
        state.log_problem = &logProblem;
        ksml::RunGateway(environment, tessaro::platform::kStandardInput, state, ReadAdminEMail);
    } catch (...) {
        // Nothing sensible is left to tell the web server.
    }
    return 0;
}
