// Plain operations on an open descriptor (socket, pipe or file) for code that
// holds one but must not make the system calls itself.
#pragma once

#include <cstddef>
#include <string>

namespace tessaro::platform {

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;

// Closes fd when it is open (>= 0); errors are of no use to the caller.
void CloseDescriptor(int fd);

// The name that stands for fd's object in this process ("/proc/self/fd/N").
std::string DescriptorSelfLink(int fd);
// The system's own path of what fd names now; empty when it cannot tell.
std::string DescriptorRealPath(int fd);

enum class InputWait {
    Ready,        // bytes, or the end of the stream, can be read without blocking
    TimedOut,     // nothing within the time allowed
    Interrupted,  // a signal ended the wait early
    Failed,       // the wait itself failed
};

// Waits up to timeoutMs (0: just looks, negative: for ever) for fd to become readable.
InputWait WaitForInput(int fd, int timeoutMs);

// WaitForInput that also watches output, a descriptor this process writes to: when the
// reader at its other end has gone (the pipe or socket reports an error or a hang-up), the
// wait ends at once with *outputClosed set. A negative output is not watched.
InputWait WaitForInputWatchingOutput(int fd, int output, int timeoutMs, bool* outputClosed);

// True when the reader at the other end of output (a pipe or socket) has gone; false for a
// file, a terminal or a descriptor that is not open.
bool OutputClosed(int output);

// One read of at most len bytes, retried when a signal interrupts it: the count read
// (0 at the end of the stream), or -1 with the reason in Win32LastErrno().
long ReadSome(int fd, void* buffer, std::size_t len);

// One write of at most len bytes, retried when a signal interrupts it: the count
// written, or -1 with the reason in Win32LastErrno().
long WriteSome(int fd, const void* data, std::size_t len);

// A one-way pipe whose descriptors are closed on exec; false with the reason in Win32LastErrno().
bool CreatePipe(int* readEnd, int* writeEnd);

// Cuts the open file fd to nothing: 0, or the Windows number of the reason.
long EmptyFile(int fd);

// Wakes the process waiting on the other end of fd by writing one byte, then closes fd.
void SignalAndClose(int fd);

}  // namespace tessaro::platform
