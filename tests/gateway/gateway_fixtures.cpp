#include "gateway_fixtures.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "gateway/server_pipe.h"
#include "platform/home.h"
#include "platform/pipe_frame.h"
#include "platform/window.h"

namespace gateway_test {

namespace plat = tessaro::platform;

namespace {
// A body the gateway never reads must not kill the test when its pipe closes.
const bool kSigpipeIgnored = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}();
}  // namespace

FakeEngineSocket::FakeEngineSocket(std::vector<ReplyFrame> reply, bool accept, int backlog) : reply_(std::move(reply)) {
    const std::string path = ksml::ServerPipePath();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ::unlink(path.c_str());
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, backlog) != 0)
        ADD_FAILURE() << "cannot listen on " << path << ": " << std::strerror(errno);
    if (accept) thread_ = std::thread([this] { Serve(); });
}

FakeEngineSocket::~FakeEngineSocket() {
    stop_ = true;
    ::shutdown(listen_fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listen_fd_);
    ::unlink(ksml::ServerPipePath().c_str());
}

std::vector<std::string> FakeEngineSocket::Received() {
    std::unique_lock<std::mutex> lock(mutex_);
    // The gateway may have finished before this side has read the end of its connection.
    served_changed_.wait_for(lock, std::chrono::seconds(30), [this] { return served_ >= connections_; });
    return received_;
}

void FakeEngineSocket::Serve() {
    while (!stop_) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        // The engine's rule: a body follows only for a request that declares one.
        plat::PipeReadResult first = plat::ReadPipeFrame(fd);
        std::vector<std::string> got;
        if (first.status == plat::PipeReadStatus::Ok) got.push_back(first.payload);
        const std::string& env = first.payload;
        bool hasBody = env.find(std::string("REQUEST_METHOD=POST", 19)) != std::string::npos &&
                       env.find(std::string("CONTENT_TYPE=", 13)) != std::string::npos &&
                       env.find(std::string("\0CONTENT_LENGTH=0\0", 18)) == std::string::npos &&
                       env.find(std::string("\0CONTENT_LENGTH=", 16)) != std::string::npos;
        if (hasBody) {
            plat::PipeReadResult second = plat::ReadPipeFrame(fd);
            if (second.status == plat::PipeReadStatus::Ok) got.push_back(second.payload);
        }
        for (const ReplyFrame& frame : reply_)
            plat::WritePipeFrame(fd, static_cast<plat::PipeFrameKind>(frame.kind), frame.payload.data(),
                                 frame.payload.size());
        ::shutdown(fd, SHUT_WR);
        // Anything more the gateway sent would be a stray message.
        for (;;) {
            plat::PipeReadResult extra = plat::ReadPipeFrame(fd);
            if (extra.status != plat::PipeReadStatus::Ok) break;
            got.push_back(extra.payload);
        }
        ::close(fd);
        std::lock_guard<std::mutex> lock(mutex_);
        received_.insert(received_.end(), got.begin(), got.end());
        ++served_;
        served_changed_.notify_all();
    }
}

class WindowHolder {
public:
    std::unique_ptr<plat::Window> window;
};

namespace {

std::uint32_t U32At(const std::string& data, size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[at + static_cast<size_t>(i)]);
    return v;
}

}  // namespace

FakeEngineWindow::FakeEngineWindow(std::string reply, Mode mode)
    : reply_(std::move(reply)), mode_(mode), window_(std::make_unique<WindowHolder>()) {
    long error = 0;
    window_->window = plat::Window::Create(
        "TessaroWClass20", "Tessaro 2.0",
        [this](plat::Window&, plat::WindowMessage& m) -> std::int64_t {
            if (m.msg != plat::WM_COPYDATA) return 0;
            Request r;
            r.sender = m.dwData;
            if (m.data.size() >= 16) {
                r.handle = U32At(m.data, 0);
                size_t a = U32At(m.data, 4), b = U32At(m.data, 8), c = U32At(m.data, 12);
                if (16 + a + b + c == m.data.size()) {
                    r.well_formed = true;
                    r.reply_file = m.data.substr(16, a);
                    r.environment = m.data.substr(16 + a, b);
                    r.body = m.data.substr(16 + a + b, c);
                }
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                received_.push_back(r);
            }
            if (mode_ == Mode::Drop) return 0;
            if (mode_ == Mode::Hold) {
                std::lock_guard<std::mutex> lock(mutex_);
                held_.push_back(m.fd);
                m.fd = -1;
                return 1;
            }
            if (r.well_formed) {
                int out = ::open(r.reply_file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
                if (out >= 0) {
                    plat::WriteFully(out, reply_.data(), reply_.size());
                    ::close(out);
                }
            }
            if (m.fd >= 0) {
                char one = 1;
                if (::write(m.fd, &one, 1) != 1) ADD_FAILURE() << "completion write";
                ::close(m.fd);
                m.fd = -1;
            }
            return 1;
        },
        &error);
    created_ = window_->window != nullptr;
    if (!created_) {
        ADD_FAILURE() << "cannot create the engine window, error " << error;
        return;
    }
    loop_ = std::thread([this] { window_->window->RunMessageLoop(); });
}

FakeEngineWindow::~FakeEngineWindow() {
    if (created_) {
        window_->window->PostQuitMessage();
        loop_.join();
    }
    window_->window.reset();
    for (int fd : held_) ::close(fd);
}

std::vector<FakeEngineWindow::Request> FakeEngineWindow::Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

bool ScriptedEngine::StartServerService(ksml::ErrorReport& errors) {
    bool ok = start_calls < static_cast<int>(start_results.size()) && start_results[start_calls];
    ++start_calls;
    if (!ok) {
        errors.Add(start_failure.message, start_failure.number);
        return false;
    }
    if (on_started) on_started();
    return true;
}

bool ScriptedEngine::SetServerTerminationEvent(ksml::ErrorReport& errors) {
    bool ok = event_calls < static_cast<int>(event_results.size()) && event_results[event_calls];
    ++event_calls;
    if (!ok) errors.Add("Failed to set server termination event.", 2);
    return ok;
}

ksml::GatewaySettings FastSettings() {
    ksml::GatewaySettings settings;
    settings.busy_retries = 3;
    settings.busy_wait_ms = 1;
    settings.restart_delay_ms = 0;
    settings.service_start_timeout_ms = 2000;
    settings.service_poll_ms = 10;
    settings.reply_timeout_seconds = 30;
    settings.copy_data_wait_seconds = 30;
    return settings;
}

GatewayRun RunKsml(std::vector<std::string> environment, const std::string& body, ksml::EngineService& engine,
                   const ksml::GatewaySettings& settings, const std::string& adminEmail) {
    std::vector<const char*> env;
    for (const std::string& e : environment) env.push_back(e.c_str());
    env.push_back(nullptr);

    int fds[2];
    if (::pipe(fds) != 0) ADD_FAILURE() << "pipe";
    std::thread feeder([&] {
        size_t done = 0;
        while (done < body.size()) {
            ssize_t n = ::write(fds[1], body.data() + done, std::min<size_t>(body.size() - done, 7000));
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fds[1]);
    });

    GatewayRun run;
    ksml::LogSink log = [&run](std::string_view severity, std::string_view text) {
        run.log.push_back(std::string(severity) + "|" + std::string(text));
    };
    ksml::GatewayState state(
        settings, log, [&run](const char* d, size_t n) { run.output.append(d, n); }, engine);
    ksml::RunGateway(env.data(), fds[0], state, [&adminEmail] { return adminEmail; });
    ::close(fds[0]);
    feeder.join();
    return run;
}

std::string ErrorPageFor(const std::vector<ksml::GatewayError>& errors) {
    return ksml::FormatErrorPage(errors, true, "");
}

}  // namespace gateway_test
