#pragma once
// Programs the end-to-end tests run: to completion, or in the background until stopped.

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace e2e {

// Runs argv (argv[0] is the path) with the test's environment plus extra, output to
// outputFile (or /dev/null); the exit status, or -1 when it could not run.
int RunProgram(const std::vector<std::string>& argv, const std::map<std::string, std::string>& extra = {},
               const std::string& outputFile = "");

class BackgroundProgram {
public:
    BackgroundProgram(const std::vector<std::string>& argv, const std::map<std::string, std::string>& extra,
                      const std::string& outputFile);
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    pid_t pid() const { return pid_; }
    bool Alive();
    // SIGTERM, then SIGKILL after the grace period; the exit status (-1 when killed or unknown).
    int Stop(int graceMilliseconds = 10000);

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// True while a process of that id runs (any parent; a zombie does not count, since nobody
// may reap a detached service here).
bool ProcessRunning(pid_t pid);

}  // namespace e2e
