#include "platform/pipe_frame.h"
#include "platform/system_calls.h"

#include "platform/win32_error.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <vector>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaro::platform {

namespace {

void PutU32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

std::uint32_t GetU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

bool WriteFully(int fd, const void* buf, std::size_t len) {
    // A socket is written with send, so that a closed peer is an error and no signal; a
    // pipe or file refuses send before it takes a byte, and is written plainly then. No
    // look at the descriptor first: each frame of a reply would pay for it.
    if (len == 0) return true;  // on a packet socket even an empty send is a message
    const char* p = static_cast<const char*>(buf);
    const ssize_t first = RetryOnInterrupt([&] { return SystemCalls().send(fd, p, len, MSG_NOSIGNAL); });
    if (first < 0) return errno == ENOTSOCK && WriteAll(fd, buf, len) == ERROR_SUCCESS;
    const std::size_t sent = static_cast<std::size_t>(first);
    if (sent == len) return true;
    if (sent == 0) {
        errno = EIO;  // a send that takes nothing of a non-empty buffer would never end
        return false;
    }
    return SendAll(fd, p + sent, len - sent) == ERROR_SUCCESS;
}

long ReadFully(int fd, void* buf, std::size_t len) {
    char* p = static_cast<char*>(buf);
    std::size_t got = 0;
    while (got < len) {
        ssize_t n = RetryOnInterrupt([&] { return SystemCalls().read(fd, p + got, len - got); });
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

namespace {

void PutFrameHead(unsigned char* head, PipeFrameKind kind, std::size_t len) {
    PutU32(head, static_cast<std::uint32_t>(kind));
    PutU32(head + 4, static_cast<std::uint32_t>(len));
}

}  // namespace

void AppendPipeFrame(std::string& out, PipeFrameKind kind, const void* data, std::size_t len) {
    unsigned char head[kPipeFrameHeaderSize];
    PutFrameHead(head, kind, len);
    out.append(reinterpret_cast<const char*>(head), sizeof head);
    if (len > 0) out.append(static_cast<const char*>(data), len);
}

bool WritePipeFrame(int fd, PipeFrameKind kind, const void* data, std::size_t len) {
    if (len > 0xFFFFFFFFu) {
        errno = EMSGSIZE;
        return false;
    }
    if (len <= 4096) {
        // One write for small frames keeps a frame in a single segment.
        std::string whole;
        AppendPipeFrame(whole, kind, data, len);
        return WriteFully(fd, whole.data(), whole.size());
    }
    unsigned char head[kPipeFrameHeaderSize];
    PutFrameHead(head, kind, len);
    return WriteFully(fd, head, sizeof head) && WriteFully(fd, data, len);
}

namespace {

using Clock = std::chrono::steady_clock;

// ReadFully bounded by a deadline (none when timed is false) and, with stallMs >= 0,
// by the longest wait for the next byte; either passing gives -1 with errno ETIMEDOUT.
long ReadBefore(int fd, char* buf, std::size_t len, bool timed, Clock::time_point deadline, int stallMs) {
    if (!timed && stallMs < 0) return ReadFully(fd, buf, len);
    std::size_t got = 0;
    Clock::time_point lastByte = Clock::now();
    // What has arrived is taken without waiting first: a request's frames are usually there
    // already, and the wait costs a call each. A pipe or file refuses recv and is waited for.
    bool socket = true;
    while (got < len) {
        if (socket) {
            ssize_t n = SystemCalls().recv(fd, buf + got, len - got, MSG_DONTWAIT);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                lastByte = Clock::now();
                continue;
            }
            if (n == 0) break;
            if (errno == ENOTSOCK) socket = false;
            else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
        }
        const auto now = Clock::now();
        long long left = 0x7FFFFFFF;
        if (timed) left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        if (stallMs >= 0)
            left = std::min<long long>(left, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 lastByte + std::chrono::milliseconds(stallMs) - now)
                                                 .count());
        if (left <= 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        pollfd p{fd, POLLIN, 0};
        int r = SystemCalls().poll(&p, 1, static_cast<int>(std::min<long long>(left, 0x7FFFFFFF)));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0 || socket) continue;
        ssize_t n = SystemCalls().read(fd, buf + got, len - got);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
        lastByte = Clock::now();
    }
    return static_cast<long>(got);
}

void SetReadFailure(PipeReadResult& r) {
    if (errno == ETIMEDOUT) {
        r.status = PipeReadStatus::TimedOut;
        r.errorNumber = WAIT_TIMEOUT_ERROR;
        return;
    }
    r.status = (errno == ECONNRESET) ? PipeReadStatus::Eof : PipeReadStatus::Error;
    r.errorNumber = Win32ErrorFromErrno(errno);
}

// Reads and checks a frame's header: false, with the failure in `r`, unless its kind is
// known and its length within `maxLength`.
bool ReadFrameHeader(int fd, std::size_t maxLength, bool timed, Clock::time_point deadline, int stallMs,
                     PipeReadResult& r, std::uint32_t& length) {
    unsigned char head[kPipeFrameHeaderSize];
    long n = ReadBefore(fd, reinterpret_cast<char*>(head), sizeof head, timed, deadline, stallMs);
    if (n < 0) {
        SetReadFailure(r);
        return false;
    }
    if (n < static_cast<long>(sizeof head)) {
        r.status = PipeReadStatus::Eof;
        r.errorNumber = 109;
        return false;
    }
    const std::uint32_t kind = GetU32(head);
    length = GetU32(head + 4);
    if (kind != static_cast<std::uint32_t>(PipeFrameKind::Message) &&
        kind != static_cast<std::uint32_t>(PipeFrameKind::Disconnect)) {
        r.status = PipeReadStatus::BadKind;
        r.errorNumber = 13;  // ERROR_INVALID_DATA
        return false;
    }
    r.kind = static_cast<PipeFrameKind>(kind);
    if (length > maxLength) {
        r.status = PipeReadStatus::TooLarge;
        r.errorNumber = 234;  // ERROR_MORE_DATA
        return false;
    }
    return true;
}

}  // namespace

PipeReadResult ReadPipeFrame(int fd, std::size_t maxLength, int timeoutMs, int stallMs) {
    PipeReadResult r;
    const bool timed = timeoutMs >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timed ? timeoutMs : 0);
    std::uint32_t length = 0;
    if (!ReadFrameHeader(fd, maxLength, timed, deadline, stallMs, r, length)) return r;
    // The buffer grows with the bytes that really arrive: a peer that only
    // declares a large length gets no large allocation.
    constexpr std::size_t kFirstChunk = 64 * 1024;
    std::size_t got = 0;
    try {
        while (got < length) {
            std::size_t chunk = std::min<std::size_t>(length - got, std::max(got, kFirstChunk));
            r.payload.resize(got + chunk);
            long part = ReadBefore(fd, r.payload.data() + got, chunk, timed, deadline, stallMs);
            if (part < 0) {
                SetReadFailure(r);
                r.payload.clear();
                return r;
            }
            got += static_cast<std::size_t>(part);
            if (static_cast<std::size_t>(part) < chunk) {
                r.status = PipeReadStatus::Eof;
                r.errorNumber = 109;
                r.payload.clear();
                return r;
            }
        }
    } catch (const std::bad_alloc&) {
        r.status = PipeReadStatus::Error;
        r.errorNumber = 8;
        r.payload.clear();
        return r;
    }
    r.status = PipeReadStatus::Ok;
    return r;
}

PipeReadResult ReadPipeFrameInto(int fd, std::size_t maxLength, int timeoutMs, int stallMs,
                                 const std::function<long(std::uint32_t length)>& start,
                                 const std::function<long(const char* data, std::size_t length)>& sink) {
    PipeReadResult r;
    const bool timed = timeoutMs >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timed ? timeoutMs : 0);
    std::uint32_t length = 0;
    if (!ReadFrameHeader(fd, maxLength, timed, deadline, stallMs, r, length)) return r;
    if (long error = start(length); error != 0) {
        r.status = PipeReadStatus::Error;
        r.errorNumber = error;
        return r;
    }
    std::vector<char> buffer(std::min<std::size_t>(length, 256 * 1024));
    std::size_t got = 0;
    while (got < length) {
        std::size_t chunk = std::min<std::size_t>(length - got, buffer.size());
        long part = ReadBefore(fd, buffer.data(), chunk, timed, deadline, stallMs);
        if (part < 0) {
            SetReadFailure(r);
            return r;
        }
        if (part > 0) {
            if (long error = sink(buffer.data(), static_cast<std::size_t>(part)); error != 0) {
                r.status = PipeReadStatus::Error;
                r.errorNumber = error;
                return r;
            }
        }
        got += static_cast<std::size_t>(part);
        if (static_cast<std::size_t>(part) < chunk) {
            r.status = PipeReadStatus::Eof;
            r.errorNumber = 109;
            return r;
        }
    }
    r.status = PipeReadStatus::Ok;
    return r;
}

}  // namespace tessaro::platform
