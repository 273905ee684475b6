#include "support/trace_log.h"

#include <cstdio>
#include <ctime>

#include "platform/clock.h"
#include "platform/csv_field.h"
#include "platform/home.h"
#include "platform/path_util.h"
#include "platform/process_ids.h"
#include "platform/shared_file.h"
#include "platform/win32_error.h"
#include "support/registry.h"

namespace plat = tessaro::platform;

std::string EscapeLogField(const std::string& text) {
    return plat::EscapeCsvField(text);
}

std::string FormatTraceLogLine(const std::string& severity, long threadId, const std::string& date,
                               const std::string& time, const std::string& text) {
    char tid[32];
    std::snprintf(tid, sizeof tid, "%ld", threadId);
    return "\"" + EscapeLogField(severity) + "\",\"TID=" + tid + "\",\"" + EscapeLogField(date) + "\",\"" +
           EscapeLogField(time) + "\",\"" + EscapeLogField(text) + "\"\n";
}

namespace {

// One write per line, so lines of concurrent writers do not interleave.
bool AppendToFile(const std::string& path, const std::string& data) {
    return plat::AppendShared(path, data);
}

// The log name as a file name: no folders can be smuggled in.
std::string SafeLogName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    }
    if (out.empty() || out == "." || out == "..") out = "_" + out;
    return out;
}

}  // namespace

std::string LogDateNow() {
    return plat::FormatLocalTimeNow("%m/%d/%y");
}
std::string LogTimeNow() {
    return plat::FormatLocalTimeNow("%H:%M:%S");
}

TraceLogOutcome WriteTraceLogChecked(const std::string& logName, const std::string& severity,
                                     const std::string& text) {
    TraceLogOutcome outcome;
    const std::string fileName = SafeLogName(logName) + ".LOG";
    const std::string line = FormatTraceLogLine(severity, plat::CurrentThreadId(), LogDateNow(), LogTimeNow(), text);
    std::string directory;
    long settingError = ReadTessaroSettingChecked("Logging", "LogFilePath", &directory);
    if (settingError == plat::ERROR_FILE_NOT_FOUND) {
        outcome.written = true;  // no log folder configured: nothing is logged
        return outcome;
    }
    outcome.settingsUnreadable = settingError != plat::ERROR_SUCCESS;
    if (!outcome.settingsUnreadable && !directory.empty()) {
        outcome.file = plat::JoinPath(plat::ResolvePathNoCase(directory), fileName);
        if (AppendToFile(outcome.file, line)) {
            outcome.written = true;
            return outcome;
        }
        outcome.error = plat::Win32LastErrno();
    }
    const std::string fallback = plat::JoinPath(plat::WindowsDirectory(), fileName);
    if (AppendToFile(fallback, line)) {
        outcome.written = true;
        return outcome;
    }
    if (outcome.file.empty() || outcome.error == 0) {
        outcome.file = fallback;
        outcome.error = plat::Win32LastErrno();
    }
    return outcome;
}

void WriteTraceLog(const std::string& logName, const std::string& severity, const std::string& text, int raw) {
    static const std::string kUnset = std::string("\x01unset");
    std::string directory = ReadTessaroSetting("Logging", "LogFilePath", kUnset);
    if (directory == kUnset) return;
    std::string line =
        raw ? text : FormatTraceLogLine(severity, plat::CurrentThreadId(), LogDateNow(), LogTimeNow(), text);
    std::string fileName = SafeLogName(logName) + ".LOG";
    std::string folder = plat::ResolvePathNoCase(directory);
    if (!directory.empty() && AppendToFile(plat::JoinPath(folder, fileName), line)) return;
    AppendToFile(plat::JoinPath(plat::WindowsDirectory(), fileName), line);
}
