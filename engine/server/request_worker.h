// The worker of one request: limiter, parse, dispatch, reply.
#pragma once

#include "engine/server/request_context.h"

class CRequestDispatcher;
class CRequestThreadPool;
class CRequestWatch;
class RequestLimiter;

// What a request's worker needs of the engine, which owns them: the dispatcher that answers
// it, the limiter that gives it its turn (null: every request runs at once) and the threads
// it runs on. The listener and the Windows 95 intake hand it to every worker they start.
struct RequestRoad {
    CRequestDispatcher& dispatcher;
    RequestLimiter* limiter;
    CRequestThreadPool& threads;
    // Looks at every request in work (its time, its gateway); null: nothing watches.
    CRequestWatch* watch = nullptr;
};

// Runs the request under the limiter (none: without a permit), with its budget watched
// while it works, then ends it (socket closed, context deleted) before the permit goes. A
// worker that gets no permit closes without a reply.
void RunRequest(RequestHandle request, RequestLimiter* limiter, CRequestDispatcher& dispatcher,
                CRequestWatch* watch = nullptr);

// The reader's parse, then the dispatcher; every escaped exception becomes the
// error page.
void ProcessRequest(CRequestContext& context, CRequestDispatcher& dispatcher);

// RunRequest on one of the road's threads; false when no thread starts (the request has
// ended then).
bool StartRequestThread(RequestHandle request, const RequestRoad& road);
