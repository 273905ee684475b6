#include "lighttpd_server.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/common/file_text.h"

extern char** environ;

namespace e2e {

namespace {

constexpr const char* kLighttpd = "/usr/sbin/lighttpd";

// lighttpd's configuration strings are double-quoted; paths here never hold quotes.
std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

bool ChildExited(pid_t pid) {
    if (pid <= 0) return true;
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

int FreeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool WaitForPort(int port, int milliseconds, pid_t child) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (up) return true;
        if (child > 0) {
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) == child) return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string LighttpdServer::Config(const LighttpdOptions& o, int port) {
    std::ostringstream c;
    c << "server.document-root = " << Quoted(o.document_root) << "\n"
      << "server.bind = \"127.0.0.1\"\n"
      << "server.port = " << port << "\n"
      << "server.modules += (\"mod_access\", \"mod_cgi\", \"mod_setenv\", \"mod_alias\")\n"
      << "server.errorlog = " << Quoted(o.work_dir + "/lighttpd-error.log") << "\n"
      << "server.upload-dirs = (" << Quoted(o.work_dir + "/uploads") << ")\n"
      << "server.max-request-size = 0\n"
      // The README's lines: templates in any case of their extension (the wizards write
      // EntryForm.TSM) go by the URL, since suffix keys match their case; a template's text
      // is never sent as a file, whatever case its extension has.
      << "cgi.assign += (\".tsm\" => " << Quoted(o.ksml) << ", \".ksm\" => " << Quoted(o.ksml) << ")\n"
      << "static-file.exclude-extensions += (\".tsm\", \".tsM\", \".tSm\", \".tSM\", \".Tsm\", \".TsM\", \".TSm\", "
         "\".TSM\",\n    \".ksm\", \".ksM\", \".kSm\", \".kSM\", \".Ksm\", \".KsM\", \".KSm\", \".KSM\")\n"
      << "$HTTP[\"url\"] =~ \"(?i)\\.(tsm|ksm)$\" {\n  cgi.assign = (\"\" => " << Quoted(o.ksml) << ")\n}\n"
      << "else $HTTP[\"url\"] =~ \"(?i)\\.(tsm|ksm)/\" {\n  url.access-deny = (\"\")\n}\n"
      // URL-template mode: the gateway itself as /cgi-bin/ksml?TEMPLATE=...
      << "alias.url = (\"/cgi-bin/ksml\" => " << Quoted(o.ksml) << ")\n"
      << "$HTTP[\"url\"] =~ \"^/cgi-bin/\" {\n  cgi.assign = (\"\" => \"\")\n}\n"
      << "setenv.add-environment += (\"TESSARO_HOME\" => " << Quoted(o.home);
    for (const auto& [name, value] : o.environment) c << ", " << Quoted(name) << " => " << Quoted(value);
    c << ")\n";
    return c.str();
}

LighttpdServer::LighttpdServer(LighttpdOptions options) : options_(std::move(options)) {
    std::filesystem::create_directories(options_.work_dir + "/uploads");
    // A port taken between the look and lighttpd's bind gives a quick exit; try another.
    for (int attempt = 0; attempt < 5 && !running(); ++attempt) Start();
}

LighttpdServer::~LighttpdServer() {
    Stop();
}

bool LighttpdServer::Start() {
    port_ = FreeLoopbackPort();
    const std::string config = options_.work_dir + "/lighttpd.conf";
    std::ofstream(config) << Config(options_, port_);
    const std::string out = options_.work_dir + "/lighttpd.out";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const char* argv[] = {kLighttpd, "-D", "-f", config.c_str(), nullptr};
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, kLighttpd, &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    if (WaitForPort(port_, 10000, pid)) {
        pid_ = pid;
        return true;
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return false;
}

void LighttpdServer::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ChildExited(pid_)) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

std::string LighttpdServer::ErrorLog() const {
    return tessaro::test::ReadFileText(options_.work_dir + "/lighttpd-error.log") +
           tessaro::test::ReadFileText(options_.work_dir + "/lighttpd.out");
}

}  // namespace e2e
