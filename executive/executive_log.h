// Where tsexec reports: its own trace log TSEXEC.LOG and the event log, so that an
// administrator sees a failing executive without knowing the log folder.
#pragma once

#include <string>

inline constexpr const char* kExecutiveServiceName = "Tessaro Executive";
inline constexpr const char* kExecutiveLogName = "TSEXEC";

// severity is "Error", "Warning" or "Information".
void ReportExecutive(const std::string& severity, const std::string& text);

// "Windows NT error number %ld occurred while attempting to %s." as an error.
void ReportWindowsError(long errorNumber, const std::string& action);
