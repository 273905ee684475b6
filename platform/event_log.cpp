#include "platform/event_log.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

#include "platform/clock.h"
#include "platform/csv_field.h"
#include "platform/home.h"
#include "platform/shared_file.h"

namespace tessaro::platform {

struct EventSourceObject {
    std::string source;
};

namespace {

const char* TypeText(std::uint16_t type) {
    switch (type) {
        case EVENTLOG_ERROR_TYPE:
            return "Error";
        case EVENTLOG_WARNING_TYPE:
            return "Warning";
        case EVENTLOG_INFORMATION_TYPE:
            return "Information";
        default:
            return "Success";
    }
}

int SyslogPriority(std::uint16_t type) {
    switch (type) {
        case EVENTLOG_ERROR_TYPE:
            return LOG_ERR;
        case EVENTLOG_WARNING_TYPE:
            return LOG_WARNING;
        default:
            return LOG_INFO;
    }
}

std::string Quoted(const std::string& text) {
    return "\"" + EscapeCsvField(text) + "\"";
}

bool UseSyslog() {
    const char* env = std::getenv("TESSARO_EVENTLOG");
    return env && std::strcmp(env, "syslog") == 0;
}

}  // namespace

std::string EventLogFilePath() {
    return HomePath("log/EVENTLOG.LOG");
}

EventSourceHandle RegisterEventSource(const char* server, const std::string& source) {
    if (server && *server) return nullptr;  // only this machine's log exists
    return new EventSourceObject{source};
}

bool DeregisterEventSource(EventSourceHandle source) {
    if (!source) return false;
    delete source;
    return true;
}

bool ReportEvent(EventSourceHandle source, std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                 const std::vector<std::string>& strings) {
    if (!source) return false;
    if (UseSyslog()) {
        std::string message;
        for (const std::string& s : strings) {
            if (!message.empty()) message += ' ';
            message += s;
        }
        static std::mutex mutex;
        std::lock_guard<std::mutex> lock(mutex);
        openlog(source->source.c_str(), LOG_PID, LOG_USER);
        syslog(SyslogPriority(type), "%s", message.c_str());
        closelog();
        return true;
    }
    const std::time_t now = std::time(nullptr);
    const std::string date = FormatLocalTime(now, "%m/%d/%y"), time = FormatLocalTime(now, "%H:%M:%S");
    std::string line = Quoted(TypeText(type)) + "," + Quoted(source->source) + "," + Quoted(date) + "," + Quoted(time) +
                       "," + Quoted(std::to_string(category)) + "," + Quoted(std::to_string(eventId));
    for (const std::string& s : strings) line += "," + Quoted(s);
    line += '\n';
    return AppendShared(EventLogFilePath(), line);
}

std::vector<EventRecord> ReadEventLogFile() {
    std::vector<EventRecord> records;
    std::ifstream in(EventLogFilePath());
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f = SplitQuotedCsvLine(line);
        if (f.size() < 6) continue;
        EventRecord r;
        r.type = f[0];
        r.source = f[1];
        r.date = f[2];
        r.time = f[3];
        r.category = static_cast<std::uint16_t>(std::strtoul(f[4].c_str(), nullptr, 10));
        r.eventId = static_cast<std::uint32_t>(std::strtoul(f[5].c_str(), nullptr, 10));
        r.strings.assign(f.begin() + 6, f.end());
        records.push_back(std::move(r));
    }
    return records;
}

}  // namespace tessaro::platform
