// The event log: registered sources report typed events with strings. The file
// backend (default) appends one CSV line per event to $TESSARO_HOME/log/EVENTLOG.LOG:
//   "Error","Tessaro","MM/DD/YY","HH:MM:SS","0","0","string 1","string 2"
// with embedded quotes doubled and CR/LF as blanks. TESSARO_EVENTLOG=syslog sends
// events to syslog instead (ident = the source, priority by type).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/csv_field.h"

namespace tessaro::platform {

constexpr std::uint16_t EVENTLOG_SUCCESS = 0x0000;
constexpr std::uint16_t EVENTLOG_ERROR_TYPE = 0x0001;
constexpr std::uint16_t EVENTLOG_WARNING_TYPE = 0x0002;
constexpr std::uint16_t EVENTLOG_INFORMATION_TYPE = 0x0004;

struct EventSourceObject;
using EventSourceHandle = EventSourceObject*;

// server: empty or null for this machine (others are not supported: null result).
EventSourceHandle RegisterEventSource(const char* server, const std::string& source);
bool ReportEvent(EventSourceHandle source, std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                 const std::vector<std::string>& strings);
bool DeregisterEventSource(EventSourceHandle source);

// The file backend's path.
std::string EventLogFilePath();

// One event read back from the file backend (tests, administration).
struct EventRecord {
    std::string type;  // "Error", "Warning", "Information", "Success"
    std::string source;
    std::string date;
    std::string time;
    std::uint16_t category = 0;
    std::uint32_t eventId = 0;
    std::vector<std::string> strings;
};
std::vector<EventRecord> ReadEventLogFile();

}  // namespace tessaro::platform
