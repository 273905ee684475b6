// SMTP servers the mailer tests talk to on a free loopback port: Debian's
// aiosmtpd keeping every message in a folder, or the scripted fake server.
// Both run under the system's /usr/bin/python3, which has Debian's packages.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/file_text.h"

namespace mailtest {

inline int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

inline bool Accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// A python script from this folder, run until the object goes.
class ScriptServer {
public:
    // port 0: a free one. A port found free may be taken by another test before the server
    // binds it: the server says "ready" on its output once it listens, and one that could not
    // bind is started again on another port (a port the caller gives is kept).
    ScriptServer(const std::string& script, std::vector<std::string> arguments, int port = 0) {
        for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
            port_ = port ? port : FreePort();
            Start(script, arguments);
            if (port) break;
        }
    }
    ~ScriptServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    bool Running() const { return pid_ > 0 && Accepts(port_); }
    int port() const { return port_; }

private:
    void Start(const std::string& script, const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{"/usr/bin/python3", std::string(TESSARO_SOURCE_DIR) + "/tests/mailer/" + script,
                                      std::to_string(port_)};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        int said[2];
        if (::pipe2(said, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(said[1], 1);
            std::vector<char*> raw;
            for (std::string& a : argv) raw.push_back(a.data());
            raw.push_back(nullptr);
            ::execv(raw[0], raw.data());
            ::_exit(127);
        }
        ::close(said[1]);
        std::string heard;
        pollfd wait{said[0], POLLIN, 0};
        char buffer[64];
        // Until "ready", or the end of its output (it could not listen, or ended).
        while (pid_ > 0 && heard.find("ready\n") == std::string::npos && ::poll(&wait, 1, 20000) == 1) {
            const ssize_t n = ::read(said[0], buffer, sizeof buffer);
            if (n <= 0) break;
            heard.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(said[0]);
        if (pid_ > 0 && heard.find("ready\n") == std::string::npos) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    int port_ = 0;
    pid_t pid_ = -1;
};

// aiosmtpd; message n arrives as dir/n.eml and dir/n.env.
class SinkServer : public ScriptServer {
public:
    explicit SinkServer(const std::string& dir, int port = 0) : ScriptServer("smtp_sink.py", {dir}, port), dir_(dir) {}
    // Waits up to timeoutMs for at least count messages; their number.
    int WaitForMessages(int count, int timeoutMs = 20000) const {
        for (int waited = 0;; waited += 50) {
            int have = Count();
            if (have >= count || waited >= timeoutMs) return have;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    int Count() const {
        int n = 0;
        while (std::filesystem::exists(dir_ + "/" + std::to_string(n + 1) + ".eml")) ++n;
        return n;
    }
    std::string Message(int n) const { return tessaro::test::ReadFileText(dir_ + "/" + std::to_string(n) + ".eml"); }
    std::string Envelope(int n) const { return tessaro::test::ReadFileText(dir_ + "/" + std::to_string(n) + ".env"); }

private:
    std::string dir_;
};

// The scripted server; every line it received is in log().
class FakeServer : public ScriptServer {
public:
    FakeServer(const std::string& mode, const std::string& log)
        : ScriptServer("fake_smtp_server.py", {mode, log}), log_(log) {}
    std::string Log() const { return tessaro::test::ReadFileText(log_); }
    int Count(const std::string& text) const {
        std::string all = Log();
        int n = 0;
        for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }

private:
    std::string log_;
};

}  // namespace mailtest
