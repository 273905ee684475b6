// The engine's request socket, the stand-in for the named pipe
// "\\.\PIPE\Tessaro\StubToServer20": a local stream socket below the runtime root.
// The engine listens on it (guarded by a lock file so that one engine serves it),
// the gateway connects to it; both speak the frames of platform/pipe_frame.h.
#pragma once

#include <string>

namespace tessaro::platform {

// $TESSARO_HOME/run/PIPE/Tessaro/StubToServer20
std::string RequestSocketPath();

// --- engine side ---

// Takes the lock that makes this process the socket's only server. *lockFd is opened
// on the first call (path + ".lock") and kept for later attempts. False with
// ERROR_PIPE_BUSY while another engine holds it, or another Windows error number.
bool LockRequestSocket(const std::string& path, int* lockFd, long* errorNumber);

// Connections the socket queues before the engine accepts them; past it a connect is Busy.
constexpr int kRequestSocketBacklog = 1024;

// Binds and listens on path (a stale socket file is replaced; the socket gets mode
// 0660 for the web server's group). The listening descriptor, or -1 with *errorNumber.
int ListenOnRequestSocket(const std::string& path, long* errorNumber);

// Closes the listening descriptor and removes the socket file.
void CloseRequestSocket(int listenFd, const std::string& path);

enum class AcceptStatus {
    Accepted,      // *client holds the new connection
    Idle,          // nothing arrived within the wait
    Retry,         // a transient failure (interrupted, aborted connection)
    Exhausted,     // out of descriptors for now: wait a little before retrying
    WaitFailed,    // waiting on the socket failed
    AcceptFailed,  // accepting failed; *errorNumber holds the Windows error number
};

// Waits up to waitMs for a connection and accepts it.
AcceptStatus AcceptRequestConnection(int listenFd, int waitMs, int* client, long* errorNumber);

// A connection that is waiting to be accepted, accepted now; -1 at once when none is (the
// listening socket never blocks), or when accepting fails.
int TakeWaitingConnection(int listenFd);

// --- gateway side ---

enum class ConnectStatus {
    Connected,  // *fd is a blocking connected socket
    Busy,       // the engine's backlog is full (ERROR_PIPE_BUSY)
    Missing,    // nobody listens (ERROR_FILE_NOT_FOUND)
    Failed,     // another failure; *errorNumber holds it
};

ConnectStatus ConnectRequestSocket(const std::string& path, int* fd, long* errorNumber);

// --- either side ---

// A write that blocks longer than timeoutMs fails (EAGAIN) instead of hanging.
void SetSendTimeout(int socket, int timeoutMs);
// A read that waits longer than timeoutMs fails (EAGAIN) instead of hanging.
void SetReceiveTimeout(int socket, int timeoutMs);
// Ends both directions: a thread blocked on the socket wakes up.
void ShutdownSocket(int socket);
// Ends the sending direction: the peer reads the end of the stream.
void ShutdownSending(int socket);
// True when the peer has closed its end of the connection entirely (it can no longer read
// a reply); a peer that only ended its sending direction still counts as there. Never waits.
bool PeerHasClosed(int socket);

}  // namespace tessaro::platform
