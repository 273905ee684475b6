// The engine's request log: six quoted CSV fields (severity, date, time, remote
// address, browser, detail) per line, and an Error event in the event log when
// configured.
#pragma once

#include <memory>
#include <string>

enum WebLogSeverity : long {
    WEBLOG_INFORMATION = 0,
    WEBLOG_WARNING = 1,
    WEBLOG_ERROR = 2,
};

// Files larger than this are deleted when the log is opened.
inline constexpr long long kWebLogResetSize = 1000000;

class CWebLog {
public:
    // path is upper-cased for display; the file is found case-insensitively.
    CWebLog(const std::string& path, long level, bool useEventLog);
    virtual ~CWebLog();

    virtual void Write(long severity, const std::string& remoteAddress, const std::string& userAgent,
                       const std::string& detail, const std::string& title);

    const std::string& GetPath() const { return m_path; }
    const std::string& GetPhysicalPath() const { return m_physicalPath; }
    long GetLevel() const { return m_level; }
    bool UsesEventLog() const { return m_useEventLog; }

    // The line Write appends for these fields (no file access).
    static std::string FormatLine(long severity, const std::string& date, const std::string& time,
                                  const std::string& remoteAddress, const std::string& userAgent,
                                  const std::string& detail);

private:
    std::string m_path;
    std::string m_physicalPath;
    long m_level;
    bool m_useEventLog;
};

// "Information" 0, "Warning" 1, "Error" 2 (case-sensitive); anything else 1.
long WebLogLevelFromText(const std::string& text);

// The engine's log: <Logging\LogFilePath or the Windows directory>/<PROGRAM>.LOG,
// level from Logging\LogSeverity.
std::unique_ptr<CWebLog> CreateWebLog(bool useEventLog);
