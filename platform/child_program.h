// Running another program of the system to its end, as the wizards run tsutils.
#pragma once

#include <string>
#include <vector>

namespace tessaro::platform {

// Runs argv[0] (a path) with argv, the caller's environment and folder, and waits for it.
// After timeoutSeconds (0 = no limit) the program is killed and 1460 (time-out) returned.
// 0 when it ran and ended with status 0; otherwise a Windows error number (2 when it
// cannot be started, 1 when it ended with another status or by a signal).
long RunProgramAndWait(const std::vector<std::string>& argv, int timeoutSeconds);

// What a program run to its end said and how it ended.
struct ProgramOutcome {
    bool started = false;  // false: it could not be started (the output stays empty)
    int exitStatus = -1;   // its exit status; -1 when it ended by a signal or was killed
    bool timedOut = false;
    std::string output;    // its standard output and standard error, interleaved
};

// Runs argv[0] (a path) with argv and, when environment is given, only those NAME=VALUE
// entries (else the caller's environment); standard input is /dev/null. After timeoutSeconds
// (0 = no limit) the program is killed.
ProgramOutcome RunProgramForOutput(const std::vector<std::string>& argv, int timeoutSeconds,
                                   const std::vector<std::string>* environment = nullptr);

// True when this process may create files in the folder.
bool DirectoryWritable(const std::string& path);

// The numeric id of the user this process runs as, for naming per-user folders.
unsigned long CurrentUserId();

}  // namespace tessaro::platform
