#include "engine/server/request_worker.h"

#include <optional>

#include "engine/server/current_exception.h"
#include "engine/server/request_context.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_thread_pool.h"
#include "engine/server/request_watch.h"
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

void RunRequest(CRequestContext* context, RequestLimiter* limiter, CRequestDispatcher& dispatcher,
                CRequestWatch* watch) {
    // A request whose gateway has gone while it waits for its turn never takes one, nor runs
    // when its gateway went just as the turn came.
    auto receiverGone = [context] { return context->m_pChannel && context->m_pChannel->ReceiverGone(); };
    RequestLimiterGuard guard(limiter, receiverGone);
    if (guard.Acquired() && !(limiter != nullptr && receiverGone())) {
        // Watched until the reply is out: the socket and the budget stay until after this.
        std::optional<CRequestWatch::Watched> watched;
        if (context->m_pWriter != nullptr) watched.emplace(watch, context->m_pWriter->Budget());
        ProcessRequest(context, dispatcher);
    }
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
    CRequestWatch* watch = road.watch;
    try {
        road.threads.Run([context, limiter, &dispatcher, watch] { RunRequest(context, limiter, dispatcher, watch); });
        return true;
    } catch (...) {
        tessaro::platform::CloseDescriptor(context->m_socket);
        context->m_socket = -1;
        delete context;
        return false;
    }
}
