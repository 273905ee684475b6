#include "executive/executive_log.h"

#include <cstdio>

#include "support/trace_log.h"
#include "platform/event_log.h"

namespace plat = tessaro::platform;

namespace {

std::uint16_t EventType(const std::string& severity) {
    if (severity == "Error") return plat::EVENTLOG_ERROR_TYPE;
    if (severity == "Warning") return plat::EVENTLOG_WARNING_TYPE;
    return plat::EVENTLOG_INFORMATION_TYPE;
}

}  // namespace

void ReportExecutive(const std::string& severity, const std::string& text) {
    WriteTraceLog(kExecutiveLogName, severity, text);
    if (plat::EventSourceHandle source = plat::RegisterEventSource(nullptr, kExecutiveServiceName)) {
        plat::ReportEvent(source, EventType(severity), 0, 0, {text});
        plat::DeregisterEventSource(source);
    }
}

void ReportWindowsError(long errorNumber, const std::string& action) {
    char text[64];
    std::snprintf(text, sizeof text, "%ld", errorNumber);
    ReportExecutive("Error",
                    "Windows NT error number " + std::string(text) + " occurred while attempting to " + action + ".");
}
