#include "engine/server/request_worker.h"

#include <optional>

#include "engine/server/current_exception.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_thread_pool.h"
#include "engine/server/request_watch.h"
#include "support/web_exception.h"
#include "platform/framework_exception.h"

void ProcessRequest(CRequestContext& context, CRequestDispatcher& dispatcher) {
    CRequestReader* reader = context.m_reader.get();
    CReplyWriter* writer = context.m_writer.get();
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

void RunRequest(RequestHandle request, RequestLimiter* limiter, CRequestDispatcher& dispatcher,
                CRequestWatch* watch) {
    if (!request) return;
    CReplyChannel* channel = request->m_channel.get();
    // A request whose gateway has gone while it waits for its turn never takes one, nor runs
    // when its gateway went just as the turn came.
    auto receiverGone = [channel] { return channel != nullptr && channel->ReceiverGone(); };
    RequestLimiterGuard guard(limiter, receiverGone);
    if (guard.Acquired() && !(limiter != nullptr && receiverGone())) {
        // Watched until the reply is out: the socket and the budget stay until after this.
        std::optional<CRequestWatch::Watched> watched;
        if (request->m_writer) watched.emplace(watch, request->m_writer->Budget());
        ProcessRequest(*request, dispatcher);
    }
    // Ended while the permit is held: what the request holds counts against the limit.
    request.reset();
}

bool StartRequestThread(RequestHandle request, const RequestRoad& road) {
    RequestLimiter* limiter = road.limiter;
    CRequestDispatcher& dispatcher = road.dispatcher;
    CRequestWatch* watch = road.watch;
    try {
        road.threads.Run([request = std::move(request), limiter, &dispatcher, watch]() mutable {
            RunRequest(std::move(request), limiter, dispatcher, watch);
        });
        return true;
    } catch (...) {
        // The job, and the request with it, went with the failure.
        return false;
    }
}
