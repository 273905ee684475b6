// The mailer's TCP connection: one blocking-style call per step of the SMTP
// dialogue, each bounded by the reply time-out and given up when the engine
// quits. Failures carry the status codes and texts of the mailer's tables.
#pragma once

#include <fstream>
#include <functional>
#include <string>

#include "platform/tcp_client.h"

// Status codes of the mailer (the "[NV_...]" texts).
enum NetvaneStatus {
    NV_OK = 0,
    NV_HARDWARE = 1,
    NV_PROTOCOL = 2,
    NV_BADNAME = 3,
    NV_CONNREFUSED = 4,
    NV_NOROUTE = 5,
    NV_NOHOST = 6,
    NV_NOMEM = 7,
    NV_ADDRINUSE = 8,
    NV_NOTCONNECTED = 9,
    NV_NORESOURCE = 10,
    NV_NOTACCEPTED = 11,
    NV_SOFTWARE = 12,
    NV_REMOTECLOSE = 13,
    NV_WARNING = 14,
    NV_ERROR = 15,
};

struct NetvaneError {
    int code = NV_OK;
    std::string text;
};

// The status text of a code; empty for an unknown one.
const char* NetvaneStatusText(int code);
// The text and status code of a WinSock error number.
NetvaneError NetvaneSocketError(long socketError);

inline constexpr const char* kTimedOutText = "Timed out while waiting for SMTP command to complete";
inline constexpr const char* kQuitText = "WM_QUIT posted while waiting for reply from SMTP server.";

// Option bit of Connect: the bytes sent and received are also written to a trace
// file "NVTC<n>.DBG" (n the first free number from 0 to 99; 99 is made anew when all
// exist) in the trace folder, one file per connection.
inline constexpr int kNetvaneDebugTrace = 1;

class CNetvaneSocket {
public:
    using QuitCheck = std::function<bool()>;
    explicit CNetvaneSocket(QuitCheck quit) : m_quit(std::move(quit)) {}

    bool Connect(const std::string& host, int port, int timeoutMs, int options = 0,
                 const std::string& traceFolder = std::string());
    // True when the last Connect was refused before any network step (no host, no port).
    bool RefusedAtOnce() const { return m_refusedAtOnce; }
    // The trace file of the current connection; empty without one.
    const std::string& TraceFile() const { return m_tracePath; }
    bool Send(const std::string& data, int timeoutMs);
    // Appends what arrives to buffer; false on time-out, quit, close or error.
    bool Receive(std::string& buffer, int timeoutMs);
    void Close(bool immediate);
    bool IsConnected() const { return m_client.IsConnected(); }
    std::string LocalAddress() const { return m_client.LocalAddress(); }

    const NetvaneError& Error() const { return m_error; }
    void SetError(int code, std::string text) { m_error = {code, std::move(text)}; }

private:
    // Runs step in slices until it is no longer waiting; false with the error set.
    template <class Step>
    bool WaitFor(int timeoutMs, Step step);

    void OpenTrace(const std::string& folder);
    void Trace(const char* marker, const char* data, std::size_t n);

    QuitCheck m_quit;
    tessaro::platform::TcpClient m_client;
    NetvaneError m_error;
    bool m_refusedAtOnce = false;
    std::string m_tracePath;
    std::ofstream m_trace;
};
