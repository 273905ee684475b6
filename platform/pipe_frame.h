// Framing for the engine's request socket: a stream socket carries
// {u32 kind, u32 length, bytes} frames (little-endian) so that a message of any
// size, and an empty one, keeps its boundary.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Writes all of buf (retrying short writes and EINTR); false with errno set on failure.
// Uses MSG_NOSIGNAL on sockets so a vanished peer gives EPIPE, not SIGPIPE.
bool WriteFully(int fd, const void* buf, std::size_t len);

// Reads exactly len bytes; returns the count read before EOF (less than len at EOF),
// or -1 with errno set on error.
long ReadFully(int fd, void* buf, std::size_t len);

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

}  // namespace tessaro::platform
