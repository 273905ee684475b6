// What a program sets up about its own process: environment values its children and
// loaded libraries read, and how it takes a write to a vanished reader.
#pragma once

#include <string>

namespace tessaro::platform {

// An environment value of this process; empty when it is not set.
std::string EnvironmentValue(const std::string& name);

// Sets (or replaces) an environment value of this process; 0 or a Windows error number.
long SetEnvironmentValue(const std::string& name, const std::string& value);

// A write to a pipe or socket whose reader has gone fails with ERROR_BROKEN_PIPE instead
// of ending the process.
void IgnoreBrokenPipes();

// SIGTERM, SIGHUP and SIGPIPE end the process at once with exit status 0, whatever the parent
// left them as (ignored or blocked): what a web server tells a CGI program whose visitor has
// gone, by signal or by closing its output. The process's descriptors close with it, which
// tells the other ends; the file named by RemoveOnSignalEnd is removed first.
void EndProcessOnLeaveSignals();
// The one file (empty: none) an end by those signals removes, such as a reply file that
// only this process would remove.
void RemoveOnSignalEnd(const std::string& path);

}  // namespace tessaro::platform
