// Starting a helper program of the system (the report server, say) with posix_spawn, in a
// process group of its own so that a terminal's signals meant for the starter miss it.
#pragma once

#include <string>
#include <vector>

namespace tessaro::platform {

// Starts program with args (argv[0] is the program) and the starter's environment; the
// process id, or 0 with a Windows error number in *error.
long SpawnProgram(const std::string& program, const std::vector<std::string>& args, long* error);

// Collects a spawned child that has ended, without waiting; true when it had.
bool ReapChild(long pid);

}  // namespace tessaro::platform
