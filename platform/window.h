// Windows and message loops on Linux. A "window" is an AF_UNIX stream endpoint
// at $TESSARO_HOME/run/WND/class/<Class> with a title alias under
// run/WND/title/<Title>; one thread runs its loop. Other threads and processes
// reach it with FindWindow/SendMessage/PostMessage. Message numbers mean what
// the receiving window's procedure makes of them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <deque>
#include <string>
#include <sys/types.h>

namespace tessaro::platform {

constexpr std::uint32_t WM_CREATE = 0x0001;
constexpr std::uint32_t WM_DESTROY = 0x0002;
constexpr std::uint32_t WM_PAINT = 0x000F;
constexpr std::uint32_t WM_CLOSE = 0x0010;
constexpr std::uint32_t WM_QUERYENDSESSION = 0x0011;
constexpr std::uint32_t WM_QUIT = 0x0012;
constexpr std::uint32_t WM_COPYDATA = 0x004A;
constexpr std::uint32_t WM_TIMER = 0x0113;
constexpr std::uint32_t WM_USER = 0x0400;

// One message as the window procedure sees it.
struct WindowMessage {
    std::uint32_t msg = 0;
    std::uint64_t wParam = 0;
    std::uint64_t lParam = 0;
    std::uint64_t dwData = 0;  // WM_COPYDATA's dwData
    std::string data;          // WM_COPYDATA's block
    int fd = -1;               // a descriptor passed along; the procedure may take it (set -1)
    pid_t senderPid = 0;       // peer credentials of the sending process (0 when internal)
};

class Window;
using WindowProcedure = std::function<std::int64_t(Window&, WindowMessage&)>;

class Window {
public:
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Creates the endpoint. Null with a Windows error number in *error when the
    // name is taken by a live window (183) or the socket cannot be made.
    static std::unique_ptr<Window> Create(const std::string& className, const std::string& title,
                                          WindowProcedure procedure, long* error = nullptr);

    // Delivers WM_CREATE, then runs the loop on the calling thread until WM_QUIT.
    // WM_CLOSE (a frame, or a close signal when enabled) is delivered as WM_DESTROY.
    void RunMessageLoop();

    // On the loop thread, from inside a message procedure that works long: handles the
    // messages that are ready now (posted ones, a close signal, timers, senders) without
    // waiting for more; a procedure that runs again meanwhile must expect to be re-entered.
    // False once the loop is to end (WM_QUIT was taken).
    bool PumpPendingMessages();

    // Thread-safe: queue a message for the loop.
    void PostMessage(std::uint32_t msg, std::uint64_t wParam = 0, std::uint64_t lParam = 0);
    // On the loop thread (or anywhere): end the loop after the current message.
    void PostQuitMessage();

    // Periodic WM_TIMER with wParam = id. Call from the loop thread.
    bool SetTimer(std::uint32_t id, std::uint32_t periodMs);
    void KillTimer(std::uint32_t id);

    // SIGINT, SIGTERM and SIGHUP become WM_CLOSE. BlockCloseSignals must have run
    // in the main thread before any thread was created.
    bool EnableCloseSignals();

    const std::string& ClassName() const { return className_; }
    const std::string& Title() const { return title_; }

private:
    Window() = default;
    void Dispatch(WindowMessage& m);
    // One round of the loop: waits up to timeoutMs (negative: for ever) and serves what is
    // ready. False when the wait itself failed.
    bool ServeReady(int timeoutMs);
    void ServeConnection(int fd);

    std::string className_, title_, classPath_, titlePath_;
    WindowProcedure procedure_;
    int listenFd_ = -1;
    int queueFd_ = -1;
    int signalFd_ = -1;
    bool quit_ = false;
    std::map<std::uint32_t, int> timers_;
    std::mutex queueMutex_;
    std::deque<WindowMessage> queue_;
};

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread (and the threads it
// starts later) so that a window can take them through EnableCloseSignals.
void BlockCloseSignals();

// Takes one pending close signal (blocked as above), waiting up to timeoutMs for one;
// true when one was taken. For a program that has no window to deliver them.
bool TakeCloseSignal(int timeoutMs);

// The endpoint path of a window found by class and/or title (either may be
// empty, not both); empty when no live window answers.
std::string FindWindow(const std::string& className, const std::string& title);

// Sends a message and waits (at most 60 s) for the procedure's result. ok (optional) is false
// when the window could not be reached. fdToPass (optional) rides along.
std::int64_t SendMessage(const std::string& window, std::uint32_t msg, std::uint64_t wParam, std::uint64_t lParam,
                         bool* ok = nullptr);
std::int64_t SendCopyData(const std::string& window, std::uint64_t wParam, std::uint64_t dwData,
                          const std::string& data, int fdToPass, bool* ok = nullptr);
// SendCopyData with its own limit on the wait for the result, in seconds.
std::int64_t SendCopyDataWithin(const std::string& window, std::uint64_t wParam, std::uint64_t dwData,
                                const std::string& data, long timeoutSeconds, bool* ok = nullptr);
// Queues a message without waiting for its handling.
bool PostMessage(const std::string& window, std::uint32_t msg, std::uint64_t wParam, std::uint64_t lParam);

}  // namespace tessaro::platform
