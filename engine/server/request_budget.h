// What one request may spend: time, the bytes its query results hold, the bytes of its
// reply's header. Every road of the request draws on the one budget: the page's loops,
// fetches, sections and parses look at its clock, the query results count their bytes
// against it, the reply writer bounds its header by it. When the time is spent, the visitor
// has gone or the engine shuts down, the budget is stopped, from whatever thread notices:
// it cancels the work in flight that cannot look at the clock itself (a statement running
// on the request's connection), and the request's next look ends the page with the reason.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "support/web_message.h"

class CServerSettings;
class CWebException;

enum class RequestStop : int {
    None = 0,
    TimedOut,      // the page's time limit has passed
    Abandoned,     // nobody waits for the reply any more (the gateway's connection closed)
    ShuttingDown,  // the engine is stopping
};

class CRequestBudget {
public:
    // What a web server takes from a CGI program: a longer header line, or more header bytes
    // in all, make it answer with its own bad-gateway page instead of the reply.
    static constexpr std::size_t kMaxHeaderLineBytes = 8000;
    static constexpr std::size_t kMaxHeaderBytes = 32000;
    // Server\MaxQueryResultBytes when it is not set.
    static constexpr std::size_t kDefaultMaxResultBytes = 32u * 1024u * 1024u;

    CRequestBudget() = default;
    CRequestBudget(const CRequestBudget&) = delete;
    CRequestBudget& operator=(const CRequestBudget&) = delete;

    // --- time ---
    // The page's limit, counted from now; 0 or less: no limit.
    void StartClock(long seconds);
    long TimeLimitSeconds() const { return m_limitSeconds; }
    // Whether whoever waits for the reply has gone; asked from any thread. Set before the
    // budget is watched (CRequestWatch), not while it is.
    void SetReceiverProbe(std::function<bool()> gone) { m_receiverGone = std::move(gone); }

    // The request's own look, made wherever its work goes round: throws the CWebException* of
    // a stopped budget. The deadline is judged here too, and (at most every 100 ms) the
    // receiver, so the budget works without a watch.
    void Check();
    // The reason of the stop (None while the budget lasts).
    RequestStop StoppedBy() const { return static_cast<RequestStop>(m_stop.load(std::memory_order_acquire)); }
    // The error a stopped budget ends the page with (a new CWebException*, or null while it lasts).
    CWebException* StopError() const;

    // --- from any thread ---
    // The first reason wins; the work in flight is cancelled.
    void Stop(RequestStop why);
    // The watch's look: stops the budget past its deadline or when its receiver has gone,
    // and cancels the call of a stopped budget once it has run long enough.
    void Watch();

    // A call that blocks where the request cannot look at the clock (a statement running in
    // its driver): while the scope lives, a stopped budget calls cancel, from the thread that
    // watches, once the call has run for kCancelAfterMs. A driver call that has run that long
    // is inside the database's own work, which is what a cancel from another thread is for;
    // one in its first moments may be copying a row, which a driver need not guard against
    // such a cancel. cancel runs at most once, and must be safe from another thread.
    static constexpr std::int64_t kCancelAfterMs = 100;
    class CancelScope {
    public:
        CancelScope(CRequestBudget& budget, std::function<void()> cancel);
        ~CancelScope();
        CancelScope(const CancelScope&) = delete;
        CancelScope& operator=(const CancelScope&) = delete;

    private:
        friend class CRequestBudget;
        CRequestBudget& m_budget;
        CancelScope* m_outer;
        std::function<void()> m_cancel;
        std::int64_t m_sinceMs;
    };

    // --- the bytes of query results ---
    // Server\MaxQueryResultBytes; a missing, zero or negative value gives the default.
    void ReadResultByteLimit(CServerSettings* settings);
    // 0: the default.
    void SetResultByteLimit(std::size_t bytes) { m_resultLimit = bytes == 0 ? kDefaultMaxResultBytes : bytes; }
    std::size_t ResultByteLimit() const { return m_resultLimit; }
    std::size_t ResultBytes() const { return m_resultBytes; }
    // Counts bytes a query result now holds; throws CWebException* "Query results too large"
    // when the page's results would hold more than the limit (nothing is counted then).
    void DrawResultBytes(std::size_t bytes);
    // Throws the error of DrawResultBytes: a result that cannot be held.
    [[noreturn]] void RefuseResultBytes() const;
    // Bytes of a result the page has let go of.
    void ReturnResultBytes(std::size_t bytes) { m_resultBytes -= bytes < m_resultBytes ? bytes : m_resultBytes; }

    // --- the reply's header ---
    // Empty when the header block (lines ending in "\n") fits the bounds; otherwise the
    // detail of the error that refuses it.
    static CWebMessage HeaderOverrun(const std::string& header);

private:
    // Cancels the running call of a stopped budget when it has run for kCancelAfterMs.
    void CancelRunningCall();

    std::atomic<int> m_stop{0};
    long m_limitSeconds = 0;
    std::atomic<std::int64_t> m_deadlineMs{0};  // 0: none
    std::function<bool()> m_receiverGone;
    std::int64_t m_nextReceiverLookMs = 0;

    std::mutex m_cancelMutex;
    CancelScope* m_running = nullptr;  // the innermost call that a stop cancels

    std::size_t m_resultLimit = kDefaultMaxResultBytes;
    std::size_t m_resultBytes = 0;
};
