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

}  // namespace tessaro::platform
