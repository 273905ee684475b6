#include "gateway/server_pipe.h"

#include <chrono>
#include <thread>

#include "platform/pipe_frame.h"
#include "platform/request_socket.h"
#include "platform/service_account.h"
#include "platform/win32_error.h"

namespace ksml {

namespace plat = tessaro::platform;

namespace {

constexpr const char* kConnectFailed =
    "An error occurred while attempting to establish a connection to the service.<P>";
constexpr const char* kServiceNotRunning =
    "An error occurred while attempting to establish a connection to the service.<P> The most likely cause "
    "of this problem is that the service is not currently running. You can use tsscm (tsscm query "
    "'Brendlow Tessaro 2.0', tsscm start 'Brendlow Tessaro 2.0'; see \"Administering the server\" in "
    "the README) to verify that the service is running and to restart it if necessary.";
constexpr const char* kReadFailed = "Error attempting to read data sent by server.";
// No reply message is ever this large; a frame that claims more is corrupt.
constexpr std::size_t kMaxReplyFrame = 256u * 1024 * 1024;
// Between looks for the socket of a service that was just started.
constexpr int kSocketPollMs = 50;
// Between looks for a free place while a busy engine is waited for: like the wait for a free
// pipe instance, a wait ends as soon as a place is free, so that clients that only retry
// faster cannot keep taking every place that frees.
constexpr int kBusyPollMs = 20;
// Between looks at the visitor while the engine works on the reply.
constexpr int kVisitorLookMs = 200;

// Connecting was refused for want of rights: which socket, and which account asked.
std::string SocketRefusedText(const std::string& path) {
    return std::string(kConnectFailed) + " The gateway runs as the account '" +
           PageText(plat::CurrentAccountName()) + "', which may not connect to the engine's request socket " +
           PageText(path) +
           ": only the engine's account and the web server's group the service was installed for may "
           "(as root: tsengine -INSTALL -WEBGROUP GROUP).";
}

// The last failure says that no engine service is installed (or it is being removed).
bool ServiceAbsent(const ErrorReport& errors) {
    if (errors.empty()) return false;
    const long number = errors.errors().back().number;
    return number == plat::ERROR_SERVICE_DOES_NOT_EXIST || number == plat::ERROR_SERVICE_MARKED_FOR_DELETE;
}

void SleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// True once the visitor has gone: the web server closed the output, or the visitor's
// connection closed. The request is then given up.
bool VisitorHasLeft(GatewayState& state) {
    if (!state.visitor_gone &&
        (plat::OutputClosed(state.web_server_output) || (state.visitor_left && state.visitor_left())))
        state.visitor_gone = true;
    return state.visitor_gone;
}

void ReportNoReply(GatewayState& state, int timeoutSeconds) {
    state.errors.Add("Error attempting to read data sent by server (no reply within " +
                         std::to_string(timeoutSeconds) + " seconds).",
                     plat::WAIT_TIMEOUT_ERROR);
}

enum class ReplyWait { Ready, VisitorLeft, TimedOut };

// Waits for the engine's next bytes for at most timeoutMs (negative: for ever), looking at
// the visitor between slices.
ReplyWait WaitForReply(int pipe, GatewayState& state, int timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    const bool looking = static_cast<bool>(state.visitor_left);
    for (;;) {
        int slice = timeoutMs;
        if (timeoutMs >= 0) {
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
            if (waited >= timeoutMs) return ReplyWait::TimedOut;
            slice = static_cast<int>(timeoutMs - waited);
        }
        if (looking && (slice < 0 || slice > kVisitorLookMs)) slice = kVisitorLookMs;
        bool outputClosed = false;
        switch (plat::WaitForInputWatchingOutput(pipe, state.web_server_output, slice, &outputClosed)) {
            case plat::InputWait::Ready:
                if (outputClosed) {
                    state.visitor_gone = true;
                    return ReplyWait::VisitorLeft;
                }
                return ReplyWait::Ready;
            case plat::InputWait::Failed:
                // The read that follows reports what is wrong with the socket.
                return ReplyWait::Ready;
            case plat::InputWait::Interrupted:
            case plat::InputWait::TimedOut:
                break;
        }
        if (VisitorHasLeft(state)) return ReplyWait::VisitorLeft;
    }
}

}  // namespace

std::string ServerPipePath() {
    return plat::RequestSocketPath();
}

int OpenServerPipe(GatewayState& state) {
    const std::string path = ServerPipePath();
    const GatewaySettings& settings = state.settings;
    int busyWaits = 0;
    int busyWaitedMs = 0;  // of the wait under way
    bool startTried = false;
    std::chrono::steady_clock::time_point socketDeadline{};
    for (;;) {
        int fd = -1;
        long error = 0;
        switch (plat::ConnectRequestSocket(path, &fd, &error)) {
            case plat::ConnectStatus::Connected:
                return fd;
            case plat::ConnectStatus::Busy:
                // Giving up is all a busy engine calls for: ending it would throw away every
                // request it is working on.
                if (VisitorHasLeft(state)) return -1;
                if (busyWaits >= settings.busy_retries) {
                    state.errors.Add(
                        "Could not establish connection to named pipe server (exceeded maximum number of retries)", 0);
                    return -1;
                }
                // A wait lasts busy_wait_ms unless a look finds a place sooner; the next
                // round of the loop connects.
                if (busyWaitedMs + kBusyPollMs >= settings.busy_wait_ms) {
                    SleepMs(settings.busy_wait_ms - busyWaitedMs);
                    busyWaitedMs = 0;
                    ++busyWaits;
                } else {
                    SleepMs(kBusyPollMs);
                    busyWaitedMs += kBusyPollMs;
                }
                continue;
            case plat::ConnectStatus::Missing:
                if (!startTried) {
                    startTried = true;
                    bool started = state.engine.StartServerService(state.errors);
                    // Ending the engine helps only a wedged service; when there is none (it was
                    // removed, or the engine runs on the desktop), the event would end a desktop
                    // engine that has just come up.
                    if (!started && !ServiceAbsent(state.errors) && state.engine.SetServerTerminationEvent(state.errors)) {
                        SleepMs(settings.restart_delay_ms);
                        started = state.engine.StartServerService(state.errors);
                    }
                    if (started) {
                        socketDeadline =
                            std::chrono::steady_clock::now() + std::chrono::milliseconds(settings.socket_appear_ms);
                        continue;
                    }
                } else if (std::chrono::steady_clock::now() < socketDeadline) {
                    // The service reports RUNNING a moment before its listener has bound the socket.
                    SleepMs(kSocketPollMs);
                    continue;
                }
                state.errors.Add(kServiceNotRunning, error);
                return -1;
            case plat::ConnectStatus::Failed:
                state.errors.Add(error == plat::ERROR_ACCESS_DENIED ? SocketRefusedText(path) : kConnectFailed, error);
                return -1;
        }
    }
}

bool SendPipeRequest(int pipe, std::string_view data, GatewayState& state) {
    if (data.size() > 0xFFFFFFFFu) {
        state.errors.Add(
            "Error attempting to send request data to the named pipe server (an incorrect number of "
            "bytes were written to the pipe).",
            plat::ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!plat::WritePipeFrame(pipe, plat::PipeFrameKind::Message, data.data(), data.size())) {
        state.errors.Add("Error attempting to send request data to the named pipe server.", plat::Win32LastErrno());
        return false;
    }
    return true;
}

bool RelayPipeReply(int pipe, GatewayState& state) {
    const int timeout = state.settings.reply_timeout_seconds;
    // Also bounds a frame that stops arriving half-way.
    if (timeout > 0) plat::SetReceiveTimeout(pipe, timeout * 1000);
    for (long round = 1;; ++round) {
        if (round % 100 == 0) state.errors.Warn("Read loop has executed " + std::to_string(round) + " times");
        // While the engine works the visitor may leave: the caller then closes the engine
        // connection, which ends the engine's work on the page.
        switch (WaitForReply(pipe, state, timeout > 0 ? timeout * 1000 : -1)) {
            case ReplyWait::Ready:
                break;
            case ReplyWait::VisitorLeft:
                return false;
            case ReplyWait::TimedOut:
                ReportNoReply(state, timeout);
                return false;
        }
        plat::PipeReadResult frame = plat::ReadPipeFrame(pipe, kMaxReplyFrame);
        switch (frame.status) {
            case plat::PipeReadStatus::Ok:
                if (frame.kind == plat::PipeFrameKind::Disconnect) return true;
                state.relay.RelayReplyData(frame.payload.data(), frame.payload.size());
                continue;
            case plat::PipeReadStatus::Eof:
                state.errors.Add(kReadFailed, plat::ERROR_BROKEN_PIPE);
                return false;
            case plat::PipeReadStatus::Error:
                if (frame.errorNumber == plat::ERROR_PIPE_BUSY) {
                    // The receive time-out expired.
                    ReportNoReply(state, timeout);
                    return false;
                }
                state.errors.Add(kReadFailed, frame.errorNumber);
                return false;
            case plat::PipeReadStatus::TooLarge:
            case plat::PipeReadStatus::BadKind:
            case plat::PipeReadStatus::TimedOut:
                state.errors.Add(kReadFailed, frame.errorNumber);
                return false;
        }
    }
}

}  // namespace ksml
