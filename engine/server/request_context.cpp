#include "engine/server/request_context.h"

#include "platform/descriptor.h"

CRequestContext::~CRequestContext() {
    m_reader.reset();
    m_writer.reset();
    m_channel.reset();
}

void RequestEnd::operator()(CRequestContext* context) const noexcept {
    tessaro::platform::CloseDescriptor(context->m_socket);
    context->m_socket = -1;
    delete context;
}

RequestHandle MakePipeRequest(int socket, CServerSettings* settings, int readTimeoutMs) {
    RequestHandle request;
    try {
        request.reset(new CRequestContext);
    } catch (...) {
        tessaro::platform::CloseDescriptor(socket);
        throw;
    }
    request->m_socket = socket;
    request->m_channel = std::make_unique<CPipeReplyChannel>(socket);
    request->m_writer = std::make_unique<CReplyWriter>(request->m_channel.get());
    request->m_reader = std::make_unique<CPipeRequestReader>(socket, settings, readTimeoutMs);
    return request;
}
