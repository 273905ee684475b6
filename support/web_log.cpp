#include "support/web_log.h"

#include "support/file_helpers.h"
#include "support/html_escape.h"
#include "support/quoted_excerpt.h"
#include "support/registry.h"
#include "support/text_helpers.h"
#include "support/trace_log.h"
#include "platform/event_log.h"
#include "platform/file_system.h"
#include "platform/home.h"
#include "platform/path_util.h"
#include "platform/shared_file.h"

namespace plat = tessaro::platform;

namespace {

const char* SeverityText(long severity) {
    switch (severity) {
        case WEBLOG_INFORMATION:
            return "Information";
        case WEBLOG_WARNING:
            return "Warning";
        case WEBLOG_ERROR:
            return "Error";
        default:
            return "";
    }
}

}  // namespace

CWebLog::CWebLog(const std::string& path, long level, bool useEventLog)
    : m_level(level), m_useEventLog(useEventLog) {
    // The folders keep their case on disk; the log's name is a name, found without regard to
    // case and created in capitals (TSENGINE.LOG).
    std::string unixPath = plat::ToUnixPath(path);
    std::size_t slash = unixPath.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string(".") : unixPath.substr(0, slash + 1);
    std::string file = UpperCopy(slash == std::string::npos ? unixPath : unixPath.substr(slash + 1));
    m_physicalPath = plat::ResolvePathNoCase(plat::JoinPath(plat::ResolvePathNoCase(folder), file));
    m_path = m_physicalPath;
    if (plat::RegularFileSize(m_physicalPath) > static_cast<std::uint64_t>(kWebLogResetSize))
        plat::RemoveFile(m_physicalPath);
    plat::TouchShared(m_physicalPath);
}

CWebLog::~CWebLog() = default;

std::string CWebLog::FormatLine(long severity, const std::string& date, const std::string& time,
                                const std::string& remoteAddress, const std::string& userAgent,
                                const std::string& detail) {
    // The detail is the error page's HTML; the log is plain text, one line per entry.
    std::string line = "\"" + EscapeLogField(SeverityText(severity)) + "\",\"" + EscapeLogField(date) + "\",\"" +
                       EscapeLogField(time) + "\",\"" + EscapeLogField(remoteAddress) + "\",\"" +
                       EscapeLogField(userAgent) + "\",\"" +
                       EscapeLogField(QuotedExcerpt(HtmlToPlainText(detail), kMaxLoggedBytes)) + "\"";
    ReplaceString(line, "\n", " ");
    ReplaceString(line, "\r", " ");
    line += "\n";
    return line;
}

void CWebLog::Write(long severity, const std::string& remoteAddress, const std::string& userAgent,
                    const std::string& detail, const std::string& /*title*/) {
    if (severity < m_level) return;
    std::string line = FormatLine(severity, LogDateNow(), LogTimeNow(), remoteAddress, userAgent, detail);
    // Not created here: a log removed while running stays removed until the next start.
    plat::AppendToExisting(m_physicalPath, line);
    if (m_useEventLog) {
        plat::EventSourceHandle source = plat::RegisterEventSource(nullptr, "Tessaro");
        if (source) {
            plat::ReportEvent(source, plat::EVENTLOG_ERROR_TYPE, 0, 0, {HtmlToPlainText(detail)});
            plat::DeregisterEventSource(source);
        }
    }
}

long WebLogLevelFromText(const std::string& text) {
    if (text == "Information") return WEBLOG_INFORMATION;
    if (text == "Warning") return WEBLOG_WARNING;
    if (text == "Error") return WEBLOG_ERROR;
    return WEBLOG_WARNING;
}

std::unique_ptr<CWebLog> CreateWebLog(bool useEventLog) {
    std::string windows = plat::WindowsDirectory();
    std::string directory = plat::ResolvePathNoCase(ReadTessaroSetting("Logging", "LogFilePath", windows));
    if (!PathExists(directory)) directory = windows;
    std::string path = plat::JoinPath(plat::ToUnixPath(directory), plat::ProgramName() + ".LOG");
    long level = WebLogLevelFromText(ReadTessaroSetting("Logging", "LogSeverity", "Warning"));
    return std::make_unique<CWebLog>(path, level, useEventLog);
}
