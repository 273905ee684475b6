// Where the running program lives, for finding the files installed next to it.
#pragma once

#include <string>

namespace tessaro::platform {

// The program's own file, or empty with *errorNumber (a Windows error number) set.
std::string ProgramPath(long* errorNumber = nullptr);

// The program's folder with a trailing '/'; "./" when it cannot be found.
std::string ProgramDirectory();

}  // namespace tessaro::platform
