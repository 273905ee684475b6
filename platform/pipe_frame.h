// Framing for the engine's request socket: a stream socket carries
// {u32 kind, u32 length, bytes} frames (little-endian) so that a message of any
// size, and an empty one, keeps its boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tessaro::platform {

enum class PipeFrameKind : std::uint32_t {
    Message = 1,     // one pipe message
    Disconnect = 2,  // the server ended the conversation (length 0)
};

struct PipeFrameHeader {
    std::uint32_t kind = 0;
    std::uint32_t length = 0;
};

constexpr std::size_t kPipeFrameHeaderSize = 8;

// Result of a frame read; errorNumber carries the Windows error number of a failure.
enum class PipeReadStatus {
    Ok,        // a frame was read whole
    Eof,       // the peer closed before a frame header (or mid-frame)
    TooLarge,  // the declared length exceeds the caller's cap
    BadKind,   // unknown frame kind
    TimedOut,  // the frame did not arrive whole within the time allowed
    Error,     // another socket error; see errorNumber
};

struct PipeReadResult {
    PipeReadStatus status = PipeReadStatus::Error;
    PipeFrameKind kind = PipeFrameKind::Message;
    std::string payload;
    long errorNumber = 0;
};

// Writes all of buf (going on after short writes and interruptions); false with the reason
// in Win32LastErrno().
// Uses MSG_NOSIGNAL on sockets so a vanished peer gives EPIPE, not SIGPIPE.
bool WriteFully(int fd, const void* buf, std::size_t len);

// Reads exactly len bytes; returns the count read before EOF (less than len at EOF),
// or -1 with the reason in Win32LastErrno().
long ReadFully(int fd, void* buf, std::size_t len);

// Adds one frame to out, for a sender that gathers several frames into one write.
void AppendPipeFrame(std::string& out, PipeFrameKind kind, const void* data, std::size_t len);

// Sends one frame; false on failure, with the reason in Win32LastErrno().
bool WritePipeFrame(int fd, PipeFrameKind kind, const void* data, std::size_t len);
inline bool WritePipeMessage(int fd, const std::string& text) {
    return WritePipeFrame(fd, PipeFrameKind::Message, text.data(), text.size());
}
inline bool WritePipeDisconnect(int fd) {
    return WritePipeFrame(fd, PipeFrameKind::Disconnect, nullptr, 0);
}

// Reads one whole frame; a payload above maxLength is refused without reading it.
// With timeoutMs >= 0 the whole frame must arrive within that many milliseconds;
// with stallMs >= 0 no wait for the next byte may last longer than that (TimedOut).
PipeReadResult ReadPipeFrame(int fd, std::size_t maxLength = 0xFFFFFFFFu, int timeoutMs = -1, int stallMs = -1);

// Reads one frame as ReadPipeFrame does, but hands its payload on instead of keeping
// it: start(length) is called once the header is read, then sink with each piece as it
// arrives. A non-zero answer from either (a Windows error number) ends the read with
// status Error and that number. The result's payload stays empty.
PipeReadResult ReadPipeFrameInto(int fd, std::size_t maxLength, int timeoutMs, int stallMs,
                                 const std::function<long(std::uint32_t length)>& start,
                                 const std::function<long(const char* data, std::size_t length)>& sink);

}  // namespace tessaro::platform
