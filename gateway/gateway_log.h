#pragma once
// Where KSML's log lines go: the "KSML" trace log in the program, a recorder in tests.

#include <functional>
#include <string>
#include <string_view>

namespace ksml {

// severity is "Information", "Warning" or "Error".
using LogSink = std::function<void(std::string_view severity, std::string_view text)>;

// A line the KSML log could not take (the web server's account may reach neither the runtime
// root's settings nor its log folder): it goes to standard error, which the web server keeps in
// its error log, saying which file and which account. The first time, *pageNote (when empty)
// gets the words for the error page.
void ReportUnwritableLog(const std::string& file, long errorNumber, bool settingsUnreadable,
                         const std::string& settingsFile, std::string_view severity, std::string_view text,
                         std::string* pageNote);

}  // namespace ksml
