#include "mailer/netvane_socket.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace {

constexpr int kSliceMs = 100;

struct SocketErrorRow {
    long value;
    const char* text;
    int code;
};

constexpr SocketErrorRow kSocketErrors[] = {
    {10004, "INTR", 2},
    {10009, "Invalid Descriptor Used", 12},
    {10014, "FAULT", 2},
    {10022, "Socket not bound to an address", 12},
    {10024, "MFILE", 15},
    {10035, "Would Block", 0},
    {10036, "Operation In Progress", 0},
    {10037, "Operation Already In Progress", 0},
    {10038, "Socket Operation on Non-Socket", 12},
    {10039, "Destination Address Required", 3},
    {10040, "Message Too Long", 2},
    {10041, "Protocol Wrong Type for Socket", 12},
    {10042, "Option Unknown or Unsupported", 12},
    {10043, "Protocol Not Supported", 12},
    {10044, "Socket Type Not Supported", 12},
    {10045, "Operation Not Supported on Socket", 12},
    {10046, "Protocol Family Not Supported", 12},
    {10047, "Address Family Not Supported by Protocol Family", 12},
    {10048, "Address Already in Use", 8},
    {10049, "Can't Assign Requested Address", 12},
    {10050, "Network is Down", 1},
    {10051, "Network is Unreachable", 5},
    {10052, "Network Dropped Connection on Reset", 13},
    {10053, "Connection Aborted", 13},
    {10054, "Connection Aborted (Reset) by Peer", 13},
    {10055, "Buffer Deadlock Condition", 7},
    {10056, "Socket is Already Connected", 12},
    {10057, "Socket is Not Connected", 9},
    {10058, "Can't Send After Shutdown", 12},
    {10059, "Too Many References, Cant Splice", 12},
    {10060, "Connection Timed Out", 6},
    {10061, "Connection Refused", 4},
    {10062, "Too Many Levels of Symbolic Links", 2},
    {10063, "File Name Too Long", 12},
    {10064, "Host is Down", 6},
    {10065, "No Route to Host", 5},
    {10066, "Directory Not Empty", 12},
    {10067, "Too Many Processes", 10},
    {10068, "Too Many Users", 10},
    {10069, "Disc Quota Exceeded", 10},
    {10070, "Stale NFS File Handle", 12},
    {10071, "Too Many Levels of Remote in Path", 12},
    {10091, "Network subsystem is not ready for network communication", 2},
    {10092, "Old version of WinSock API", 2},
    {10093, "WSA NOTINITIALISED", 12},
    {11001, "Authoritative Answer: Host not found", 3},
    {11002, "Non-Authoritative: Host not found", 3},
    {11003, "Non recoverable errors", 2},
    {11004, "Valid name, no data record of requested type", 3},
};

constexpr const char* kStatusTexts[] = {
    "[NV_OK] OK-check for advisory text info message",
    "[NV_HARDWARE] Hardware failure",
    "[NV_PROTOCOL] Protocol software failure",
    "[NV_BADNAME] Name of host cannot be resolved to address",
    "[NV_CONNREFUSED] Connection to host refused - remote host is not listening",
    "[NV_NOROUTE] No route to host (check network part of address)",
    "[NV_NOHOST] Remote host is not available (check host part of address)",
    "[NV_NOMEM] Insufficient local resources to allocate resources, accept buffer, or create channel",
    "[NV_ADDRINUSE] Address/port in use. Could indicate a corrupt transport layer",
    "[NV_NOTCONNECTED] Attempt made to use a session that is not the NV_CONNECTED state",
    "[NV_NORESOURCE] Insufficient resources on remote host",
    "[NV_NOTACCEPTED] Application did not properly accept passive connection",
    "[NV_SOFTWARE] General software error",
    "[NV_REMOTECLOSE] Remote host reset or closed connection",
    "[NV_WARNING] General warning",
    "[NV_ERROR] General error",
};

}  // namespace

const char* NetvaneStatusText(int code) {
    if (code < 0 || code >= static_cast<int>(std::size(kStatusTexts))) return "";
    return kStatusTexts[code];
}

NetvaneError NetvaneSocketError(long socketError) {
    for (const SocketErrorRow& row : kSocketErrors) {
        if (row.value == socketError) return {row.code, row.text};
    }
    return {NV_PROTOCOL, "Error not defined"};
}

template <class Step>
bool CNetvaneSocket::WaitFor(int timeoutMs, Step step) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (m_quit && m_quit()) {
            SetError(NV_ERROR, kQuitText);
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            SetError(NV_ERROR, kTimedOutText);
            return false;
        }
        long result = step(static_cast<int>(std::min<long long>(left.count(), kSliceMs)));
        if (result == 0) return true;
        if (result == tessaro::platform::kSocketStillWaiting) continue;
        if (result == tessaro::platform::kSocketPeerClosed) {
            SetError(NV_REMOTECLOSE, "Remote Host Closed");
        } else {
            NetvaneError error = NetvaneSocketError(result);
            // A refused or dropped connection is itself the failure, whatever the
            // table's code for it says.
            SetError(error.code == NV_OK ? NV_ERROR : error.code, error.text);
        }
        m_client.Close(true);
        return false;
    }
}

void CNetvaneSocket::OpenTrace(const std::string& folder) {
    std::string base = folder.empty() ? std::string(".") : folder;
    std::error_code ec;
    for (int n = 0; n < 100; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "NVTC%d.DBG", n);
        m_tracePath = base + "/" + name;
        if (!std::filesystem::exists(m_tracePath, ec)) break;
    }
    m_trace.open(m_tracePath, std::ios::binary | std::ios::trunc);
    if (!m_trace) m_tracePath.clear();
}

void CNetvaneSocket::Trace(const char* marker, const char* data, std::size_t n) {
    if (!m_trace.is_open() || n == 0) return;
    m_trace << "\r\n" << marker << ' ';
    m_trace.write(data, static_cast<std::streamsize>(n));
    m_trace.flush();
}

void CNetvaneSocket::Close(bool immediate) {
    m_client.Close(immediate);
    if (m_trace.is_open()) m_trace.close();
}

bool CNetvaneSocket::Connect(const std::string& host, int port, int timeoutMs, int options,
                             const std::string& traceFolder) {
    m_refusedAtOnce = false;
    // Only a closed socket connects; the open connection stays as it is.
    if (m_client.IsConnected()) {
        m_error = NetvaneSocketError(10056);
        m_refusedAtOnce = true;
        return false;
    }
    if (host.empty() || port == 0) {
        SetError(NV_BADNAME, "No RemoteHost or RemotePort given.");
        m_refusedAtOnce = true;
        return false;
    }
    if (port < 0 || port > 65535) {
        SetError(NV_BADNAME, "Remote port out of range.");
        m_refusedAtOnce = true;
        return false;
    }
    if (m_trace.is_open()) m_trace.close();
    m_tracePath.clear();
    if (options & kNetvaneDebugTrace) OpenTrace(traceFolder);
    long started = m_client.StartConnect(host, port);
    if (started != 0) {
        NetvaneError error = NetvaneSocketError(started);
        SetError(error.code == NV_OK ? NV_ERROR : error.code, error.text);
        return false;
    }
    return WaitFor(timeoutMs, [this](int slice) { return m_client.WaitConnected(slice); });
}

bool CNetvaneSocket::Send(const std::string& data, int timeoutMs) {
    if (!m_client.IsConnected()) {
        SetError(NV_NOTCONNECTED, "Send attempted with closed connection");
        return false;
    }
    std::size_t sent = 0;
    bool done =
        WaitFor(timeoutMs, [&](int slice) { return m_client.SendSome(data.data(), data.size(), &sent, slice); });
    Trace("--->", data.data(), sent);
    return done;
}

bool CNetvaneSocket::Receive(std::string& buffer, int timeoutMs) {
    if (!m_client.IsConnected()) {
        SetError(NV_NOTCONNECTED, "Send attempted with closed connection");
        return false;
    }
    std::size_t before = buffer.size();
    bool done = WaitFor(timeoutMs, [&](int slice) { return m_client.ReceiveSome(buffer, slice); });
    if (buffer.size() > before) Trace("<---", buffer.data() + before, buffer.size() - before);
    return done;
}
