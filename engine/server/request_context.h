// One request in flight: its reader, reply writer, reply channel and socket, and the handle
// that owns it from the accept (or the window message) to the end of its worker.
#pragma once

#include <memory>

#include "engine/server/reply_channel.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"

class CServerSettings;

class CRequestContext {
public:
    CRequestContext() = default;
    // Deletes reader, writer and channel in that order (the writer writes to the channel).
    // Does not close the socket: the request's handle does, before this.
    virtual ~CRequestContext();
    CRequestContext(const CRequestContext&) = delete;
    CRequestContext& operator=(const CRequestContext&) = delete;

    std::unique_ptr<CRequestReader> m_reader;
    std::unique_ptr<CReplyWriter> m_writer;
    std::unique_ptr<CReplyChannel> m_channel;
    int m_socket = -1;  // -1 on the window-message road
};

// Ends a request: closes its socket, then deletes the context. Never throws.
struct RequestEnd {
    void operator()(CRequestContext* context) const noexcept;
};

// The one owner of a request: whichever way the request leaves the road (refused, failed,
// answered), the handle's end frees it, exactly once.
using RequestHandle = std::unique_ptr<CRequestContext, RequestEnd>;

// A request on a connection of the request socket, which the handle owns from here on (it is
// closed also when this throws): the pipe channel, a reply writer over it and the pipe reader
// with its read time-out.
RequestHandle MakePipeRequest(int socket, CServerSettings* settings, int readTimeoutMs);
