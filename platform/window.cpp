#include "platform/window.h"
#include "platform/system_calls.h"

#include "platform/home.h"
#include "platform/pipe_frame.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace tessaro::platform {

namespace {

constexpr std::uint32_t kNeedsReply = 1;
constexpr std::uint32_t kMaxCopyData = 64u * 1024u * 1024u;
constexpr std::size_t kFrameHeader = 36;
constexpr long kSendTimeoutSeconds = 60;

// File-safe form of a class or title name.
std::string SafeName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) out += (c == '/' || c == '\\' || c == 0) ? '_' : static_cast<char>(c);
    if (out.empty() || out == "." || out == "..") out = "_" + out;
    return out;
}

std::string ClassPath(const std::string& c) {
    return HomePath("run/WND/class") + "/" + SafeName(c);
}
std::string TitlePath(const std::string& t) {
    return HomePath("run/WND/title") + "/" + SafeName(t);
}

bool MakeAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

// Connected socket to path, or -1 (errno set).
int ConnectTo(const std::string& path) {
    sockaddr_un addr;
    if (!MakeAddress(path, addr)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = SystemCalls().socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (SystemCalls().connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int e = errno;
        SystemCalls().close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

void Put32(unsigned char* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}
void Put64(unsigned char* p, std::uint64_t v) {
    std::memcpy(p, &v, 8);
}
std::uint32_t Get32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
std::uint64_t Get64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

bool RecvAll(int fd, void* buf, std::size_t len) {
    return ReadFully(fd, buf, len) == static_cast<long>(len);
}

// Sends one message frame; the header carries fdToPass when it is not -1.
int SendFrame(const std::string& window, std::uint32_t msg, std::uint32_t flags, std::uint64_t wParam,
              std::uint64_t lParam, std::uint64_t dwData, const std::string& data, int fdToPass) {
    if (window.empty() || data.size() > kMaxCopyData) return -1;
    int fd = ConnectTo(window);
    if (fd < 0) return -1;
    unsigned char head[kFrameHeader];
    Put32(head, msg);
    Put32(head + 4, flags);
    Put64(head + 8, wParam);
    Put64(head + 16, lParam);
    Put64(head + 24, dwData);
    Put32(head + 32, static_cast<std::uint32_t>(data.size()));
    iovec iov{head, sizeof head};
    msghdr mh{};
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (fdToPass >= 0) {
        std::memset(control, 0, sizeof control);
        mh.msg_control = control;
        mh.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&mh);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fdToPass, sizeof(int));
    }
    ssize_t n = RetryOnInterrupt([&] { return SystemCalls().sendmsg(fd, &mh, MSG_NOSIGNAL); });
    if (n != static_cast<ssize_t>(sizeof head) || !WriteFully(fd, data.data(), data.size())) {
        SystemCalls().close(fd);
        return -1;
    }
    return fd;
}

// The signals that stand for a request to close the window.
sigset_t CloseSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

void BlockCloseSignals() {
    sigset_t set = CloseSignals();
    SystemCalls().pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool TakeCloseSignal(int timeoutMs) {
    sigset_t set = CloseSignals();
    timespec wait{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000 * 1000};
    return SystemCalls().sigtimedwait(&set, nullptr, &wait) > 0;
}

std::unique_ptr<Window> Window::Create(const std::string& className, const std::string& title,
                                       WindowProcedure procedure, long* error) {
    auto fail = [error](long e) -> std::unique_ptr<Window> {
        if (error) *error = e;
        return nullptr;
    };
    if (className.empty()) return fail(ERROR_INVALID_PARAMETER);
    EnsureDirectory(HomePath("run/WND/class"));
    EnsureDirectory(HomePath("run/WND/title"));
    std::unique_ptr<Window> w(new Window);
    w->className_ = className;
    w->title_ = title;
    w->procedure_ = std::move(procedure);
    w->classPath_ = ClassPath(className);
    sockaddr_un addr;
    if (!MakeAddress(w->classPath_, addr)) return fail(ERROR_FILENAME_EXCED_RANGE);
    int probe = ConnectTo(w->classPath_);
    if (probe >= 0) {
        SystemCalls().close(probe);
        return fail(ERROR_ALREADY_EXISTS);
    }
    SystemCalls().unlink(w->classPath_.c_str());
    w->listenFd_ = SystemCalls().socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (w->listenFd_ < 0) return fail(Win32LastErrno());
    if (SystemCalls().bind(w->listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || SystemCalls().listen(w->listenFd_, 64) != 0)
        return fail(Win32LastErrno());
    SystemCalls().chmod(w->classPath_.c_str(), 0660);
    if (!title.empty()) {
        w->titlePath_ = TitlePath(title);
        SystemCalls().unlink(w->titlePath_.c_str());
        if (SystemCalls().symlink(w->classPath_.c_str(), w->titlePath_.c_str()) != 0) w->titlePath_.clear();
    }
    w->queueFd_ = SystemCalls().eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (w->queueFd_ < 0) return fail(Win32LastErrno());
    return w;
}

Window::~Window() {
    for (auto& [id, fd] : timers_) SystemCalls().close(fd);
    if (listenFd_ >= 0) {
        SystemCalls().close(listenFd_);
        SystemCalls().unlink(classPath_.c_str());
    }
    if (!titlePath_.empty()) SystemCalls().unlink(titlePath_.c_str());
    if (queueFd_ >= 0) SystemCalls().close(queueFd_);
    if (signalFd_ >= 0) SystemCalls().close(signalFd_);
    for (auto& m : queue_)
        if (m.fd >= 0) SystemCalls().close(m.fd);
}

void Window::PostMessage(std::uint32_t msg, std::uint64_t wParam, std::uint64_t lParam) {
    {
        std::lock_guard lock(queueMutex_);
        WindowMessage m;
        m.msg = msg;
        m.wParam = wParam;
        m.lParam = lParam;
        queue_.push_back(std::move(m));
    }
    std::uint64_t one = 1;
    if (SystemCalls().write(queueFd_, &one, sizeof one) < 0) {
    }
}

void Window::PostQuitMessage() {
    PostMessage(WM_QUIT);
}

bool Window::SetTimer(std::uint32_t id, std::uint32_t periodMs) {
    KillTimer(id);
    int fd = SystemCalls().timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (fd < 0) return false;
    itimerspec spec{};
    spec.it_interval.tv_sec = periodMs / 1000;
    spec.it_interval.tv_nsec = static_cast<long>(periodMs % 1000) * 1000000L;
    spec.it_value = spec.it_interval;
    if (periodMs == 0) spec.it_value.tv_nsec = 1;
    if (SystemCalls().timerfd_settime(fd, 0, &spec, nullptr) != 0) {
        SystemCalls().close(fd);
        return false;
    }
    timers_[id] = fd;
    return true;
}

void Window::KillTimer(std::uint32_t id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    SystemCalls().close(it->second);
    timers_.erase(it);
}

bool Window::EnableCloseSignals() {
    if (signalFd_ >= 0) return true;
    sigset_t set = CloseSignals();
    SystemCalls().pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signalFd_ = SystemCalls().signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    return signalFd_ >= 0;
}

void Window::Dispatch(WindowMessage& m) {
    if (m.msg == WM_QUIT) {
        quit_ = true;
        return;
    }
    if (m.msg == WM_CLOSE) m.msg = WM_DESTROY;
    if (procedure_) procedure_(*this, m);
}

void Window::ServeConnection(int fd) {
    // A sender gets two seconds to deliver its frame; the loop must not hang on it.
    timeval tv{2, 0};
    SystemCalls().setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    SystemCalls().setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    unsigned char head[kFrameHeader];
    iovec iov{head, sizeof head};
    msghdr mh{};
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    mh.msg_control = control;
    mh.msg_controllen = sizeof control;
    ssize_t n = RetryOnInterrupt([&] { return SystemCalls().recvmsg(fd, &mh, MSG_CMSG_CLOEXEC); });
    WindowMessage m;
    for (cmsghdr* c = n > 0 ? CMSG_FIRSTHDR(&mh) : nullptr; c; c = CMSG_NXTHDR(&mh, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && c->cmsg_len >= CMSG_LEN(sizeof(int)))
            std::memcpy(&m.fd, CMSG_DATA(c), sizeof(int));
    bool ok = n > 0 && (static_cast<std::size_t>(n) == sizeof head ||
                        RecvAll(fd, head + n, sizeof head - static_cast<std::size_t>(n)));
    std::uint32_t flags = 0;
    if (ok) {
        m.msg = Get32(head);
        flags = Get32(head + 4);
        m.wParam = Get64(head + 8);
        m.lParam = Get64(head + 16);
        m.dwData = Get64(head + 24);
        std::uint32_t cb = Get32(head + 32);
        ok = cb <= kMaxCopyData;
        if (ok && cb > 0) {
            m.data.resize(cb);
            ok = RecvAll(fd, m.data.data(), cb);
        }
    }
    if (ok) {
        ucred cred{};
        socklen_t len = sizeof cred;
        if (SystemCalls().getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0) m.senderPid = cred.pid;
        std::int64_t result = 0;
        if (m.msg == WM_QUIT) {
            quit_ = true;
        } else {
            if (m.msg == WM_CLOSE) m.msg = WM_DESTROY;
            if (procedure_) result = procedure_(*this, m);
        }
        if (flags & kNeedsReply) WriteFully(fd, &result, sizeof result);
    }
    if (m.fd >= 0) SystemCalls().close(m.fd);
    SystemCalls().close(fd);
}

void Window::RunMessageLoop() {
    WindowMessage create;
    create.msg = WM_CREATE;
    Dispatch(create);
    while (!quit_ && ServeReady(-1)) {
    }
}

bool Window::PumpPendingMessages() {
    if (!quit_) ServeReady(0);
    return !quit_;
}

bool Window::ServeReady(int timeoutMs) {
    std::vector<pollfd> fds{{listenFd_, POLLIN, 0}, {queueFd_, POLLIN, 0}};
    if (signalFd_ >= 0) fds.push_back({signalFd_, POLLIN, 0});
    std::vector<std::uint32_t> timerIds;
    for (auto& [id, fd] : timers_) {
        fds.push_back({fd, POLLIN, 0});
        timerIds.push_back(id);
    }
    int r = SystemCalls().poll(fds.data(), fds.size(), timeoutMs);
    if (r < 0) return errno == EINTR;
    if (fds[1].revents & POLLIN) {
        std::uint64_t count;
        if (SystemCalls().read(queueFd_, &count, sizeof count) < 0) {
        }
        for (;;) {
            WindowMessage m;
            {
                std::lock_guard lock(queueMutex_);
                if (queue_.empty()) break;
                m = std::move(queue_.front());
                queue_.pop_front();
            }
            Dispatch(m);
            if (quit_) break;
        }
    }
    std::size_t next = 2;
    if (signalFd_ >= 0) {
        if (!quit_ && (fds[next].revents & POLLIN)) {
            signalfd_siginfo info;
            while (SystemCalls().read(signalFd_, &info, sizeof info) == sizeof info) {
            }
            WindowMessage m;
            m.msg = WM_CLOSE;
            Dispatch(m);
        }
        ++next;
    }
    for (std::size_t i = 0; i < timerIds.size() && !quit_; ++i) {
        if (!(fds[next + i].revents & POLLIN)) continue;
        std::uint64_t expirations;
        auto it = timers_.find(timerIds[i]);
        if (it == timers_.end() || SystemCalls().read(it->second, &expirations, sizeof expirations) < 0) continue;
        WindowMessage m;
        m.msg = WM_TIMER;
        m.wParam = timerIds[i];
        Dispatch(m);
    }
    if (!quit_ && (fds[0].revents & POLLIN)) {
        for (;;) {
            int c = SystemCalls().accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) break;
            ServeConnection(c);
            if (quit_) break;
        }
    }
    return true;
}

std::string FindWindow(const std::string& className, const std::string& title) {
    std::string path;
    if (!className.empty())
        path = ClassPath(className);
    else if (!title.empty())
        path = TitlePath(title);
    else
        return {};
    int fd = ConnectTo(path);
    if (fd < 0) return {};
    SystemCalls().close(fd);
    if (!className.empty() && !title.empty()) {
        // Both given: the title alias must lead to the same window.
        char target[4096];
        ssize_t n = SystemCalls().readlink(TitlePath(title).c_str(), target, sizeof target - 1);
        if (n <= 0 || std::string(target, static_cast<std::size_t>(n)) != path) return {};
    }
    return path;
}

namespace {

std::int64_t SendAndWait(const std::string& window, std::uint32_t msg, std::uint64_t wParam, std::uint64_t lParam,
                         std::uint64_t dwData, const std::string& data, int fdToPass, bool* ok,
                         long timeoutSeconds = kSendTimeoutSeconds) {
    if (ok) *ok = false;
    int fd = SendFrame(window, msg, kNeedsReply, wParam, lParam, dwData, data, fdToPass);
    if (fd < 0) return 0;
    // A window that stops answering must not hang the sender for ever.
    timeval tv{timeoutSeconds, 0};
    SystemCalls().setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::int64_t result = 0;
    bool got = RecvAll(fd, &result, sizeof result);
    SystemCalls().close(fd);
    if (ok) *ok = got;
    return got ? result : 0;
}

}  // namespace

std::int64_t SendMessage(const std::string& window, std::uint32_t msg, std::uint64_t wParam, std::uint64_t lParam,
                         bool* ok) {
    return SendAndWait(window, msg, wParam, lParam, 0, std::string(), -1, ok);
}

std::int64_t SendCopyData(const std::string& window, std::uint64_t wParam, std::uint64_t dwData,
                          const std::string& data, int fdToPass, bool* ok) {
    return SendAndWait(window, WM_COPYDATA, wParam, 0, dwData, data, fdToPass, ok);
}

std::int64_t SendCopyDataWithin(const std::string& window, std::uint64_t wParam, std::uint64_t dwData,
                                const std::string& data, long timeoutSeconds, bool* ok) {
    return SendAndWait(window, WM_COPYDATA, wParam, 0, dwData, data, -1, ok, timeoutSeconds > 0 ? timeoutSeconds : 1);
}

bool PostMessage(const std::string& window, std::uint32_t msg, std::uint64_t wParam, std::uint64_t lParam) {
    int fd = SendFrame(window, msg, 0, wParam, lParam, 0, std::string(), -1);
    if (fd < 0) return false;
    SystemCalls().close(fd);
    return true;
}

}  // namespace tessaro::platform
