// One request in flight: its reader, reply writer, reply channel and socket.
#pragma once

#include "engine/server/reply_channel.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"

class CRequestContext {
public:
    CRequestContext() = default;
    // Deletes reader, writer and channel in that order, each on its own, so one
    // failing deletion does not leak the others. Does not close the socket.
    virtual ~CRequestContext();
    CRequestContext(const CRequestContext&) = delete;
    CRequestContext& operator=(const CRequestContext&) = delete;

    CRequestReader* m_pReader = nullptr;
    CReplyWriter* m_pWriter = nullptr;
    CReplyChannel* m_pChannel = nullptr;
    int m_socket = -1;  // -1 on the window-message road
};
