// The system-wide trace log: one quoted CSV line per call appended to
// <Logging\LogFilePath>/<NAME>.LOG (the Windows directory when that cannot be
// opened; nothing at all when LogFilePath is not set):
//   "Error","TID=4711","12/09/25","21:14:05","text"
// Embedded quotes are doubled and CR/LF become blanks, so a text cannot break or
// forge a line. Never throws, never reports its own failure.
#pragma once

#include <string>

// raw != 0 writes text as it stands, without fields or line end.
void WriteTraceLog(const std::string& logName, const std::string& severity, const std::string& text, int raw = 0);

// What became of one line, for a writer that must say where it could not write (ksml, run by
// the web server's account, which may reach neither the settings nor the log folder).
struct TraceLogOutcome {
    bool written = false;         // also when nothing was to be written (LogFilePath unset)
    std::string file;             // the file last tried when it was not written
    long error = 0;               // why, as a Windows error number
    bool settingsUnreadable = false;  // the settings (and so LogFilePath) could not be read
};
TraceLogOutcome WriteTraceLogChecked(const std::string& logName, const std::string& severity,
                                     const std::string& text);

// The trace line for the given fields (no file access), for callers that build
// their own and for tests. date is MM/DD/YY, time HH:MM:SS.
std::string FormatTraceLogLine(const std::string& severity, long threadId, const std::string& date,
                               const std::string& time, const std::string& text);

// A CSV field body: quotes doubled, CR and LF turned into blanks.
std::string EscapeLogField(const std::string& text);

// Local date "MM/DD/YY" and time "HH:MM:SS" now.
std::string LogDateNow();
std::string LogTimeNow();
