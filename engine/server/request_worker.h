// The worker of one request: limiter, parse, dispatch, reply.
#pragma once

class CRequestContext;
class RequestLimiter;
class CRequestDispatcher;

// Runs the request under the limiter (none: without a permit), then closes its
// socket and deletes the context. A worker that gets no permit closes without a reply.
void RunRequest(CRequestContext* context, RequestLimiter* limiter, CRequestDispatcher& dispatcher);

// The reader's parse, then the dispatcher; every escaped exception becomes the
// error page.
void ProcessRequest(CRequestContext* context, CRequestDispatcher& dispatcher);

// Workers still running (started by StartRequestThread or counted by the caller
// with RequestWorkerStarted/RequestWorkerEnded).
long ActiveRequestWorkers();
void RequestWorkerStarted();
void RequestWorkerEnded();
// True when every worker has ended within timeoutMs.
bool WaitForRequestWorkers(unsigned timeoutMs);

// RunRequest on a request thread (kept between requests); false (context deleted) when no
// thread starts.
bool StartRequestThread(CRequestContext* context, RequestLimiter* limiter, CRequestDispatcher& dispatcher);
