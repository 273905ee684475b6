// The worker of one request: limiter, parse, dispatch, reply.
#pragma once

class CRequestContext;
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
// while it works, then closes its socket and deletes the context. A worker that gets no
// permit closes without a reply.
void RunRequest(CRequestContext* context, RequestLimiter* limiter, CRequestDispatcher& dispatcher,
                CRequestWatch* watch = nullptr);

// The reader's parse, then the dispatcher; every escaped exception becomes the
// error page.
void ProcessRequest(CRequestContext* context, CRequestDispatcher& dispatcher);

// RunRequest on one of the road's threads; false (context deleted) when no thread starts.
bool StartRequestThread(CRequestContext* context, const RequestRoad& road);
