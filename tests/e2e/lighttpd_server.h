#pragma once
// A lighttpd started by a test: bound to 127.0.0.1 on a free port, .tsm and .ksm run through
// ksml as CGI, /cgi-bin/ksml for URL-template requests, TESSARO_HOME (and any extra
// variables) handed to the gateway. Runs in the foreground as a child and is stopped with
// the object.

#include <map>
#include <string>
#include <sys/types.h>

namespace e2e {

struct LighttpdOptions {
    std::string work_dir;                            // config, logs and upload buffers go here
    std::string document_root;                       // lighttpd runs the CGI only for files that exist below it
    std::string ksml;                                // the gateway program
    std::string home;                                // TESSARO_HOME for the gateway
    std::map<std::string, std::string> environment;  // more variables for the gateway
};

class LighttpdServer {
public:
    explicit LighttpdServer(LighttpdOptions options);
    ~LighttpdServer();
    LighttpdServer(const LighttpdServer&) = delete;
    LighttpdServer& operator=(const LighttpdServer&) = delete;

    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    // The server's error log, for failure messages.
    std::string ErrorLog() const;

    // The configuration text for a port.
    static std::string Config(const LighttpdOptions& options, int port);

private:
    bool Start();
    void Stop();

    LighttpdOptions options_;
    int port_ = 0;
    pid_t pid_ = -1;
};

// A port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();

// True when something accepts connections on 127.0.0.1:port within the time.
bool WaitForPort(int port, int milliseconds, pid_t child = -1);

}  // namespace e2e
