#include "engine/server/request_worker.h"

#include "engine/server/current_exception.h"
#include "engine/server/request_context.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_thread_pool.h"
#include "support/web_exception.h"
#include "platform/descriptor.h"
#include "platform/framework_exception.h"

void ProcessRequest(CRequestContext* context, CRequestDispatcher& dispatcher) {
    CRequestReader* reader = context->m_pReader;
    CReplyWriter* writer = context->m_pWriter;
    auto report = [&](const std::string& title, const std::string& detail) {
        try {
            dispatcher.ReportRequestError(reader, writer, title, detail);
            if (writer && !writer->IsFinished()) writer->Finish();
        } catch (CException* e) {
            e->Delete();
        } catch (...) {
        }
    };
    try {
        if (reader) reader->ParseCgiEnvironment();
        dispatcher.HandleRequest(reader, writer);
    } catch (...) {
        ExceptionReport error = DescribeCurrentException();
        report(error.title, error.detail);
    }
}

void RunRequest(CRequestContext* context, RequestLimiter* limiter, CRequestDispatcher& dispatcher) {
    RequestLimiterGuard guard(limiter);
    if (guard.Acquired()) ProcessRequest(context, dispatcher);
    try {
        tessaro::platform::CloseDescriptor(context->m_socket);
        context->m_socket = -1;
        delete context;
    } catch (...) {
    }
}

bool StartRequestThread(CRequestContext* context, const RequestRoad& road) {
    RequestLimiter* limiter = road.limiter;
    CRequestDispatcher& dispatcher = road.dispatcher;
    try {
        road.threads.Run([context, limiter, &dispatcher] { RunRequest(context, limiter, dispatcher); });
        return true;
    } catch (...) {
        tessaro::platform::CloseDescriptor(context->m_socket);
        context->m_socket = -1;
        delete context;
        return false;
    }
}
