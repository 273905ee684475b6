#include "engine/server/request_budget.h"

#include <algorithm>

#include "platform/clock.h"
#include "support/server_settings.h"
#include "support/web_exception.h"

namespace {

// How often the request's own look asks after the receiver (the watch asks on its own beat).
constexpr std::int64_t kReceiverLookMs = 100;
// A bound far beyond any request keeps the deadline arithmetic in range.
constexpr long kLongestLimitSeconds = 100L * 365 * 24 * 60 * 60;

std::int64_t Now() {
    return tessaro::platform::MonotonicMilliseconds();
}

}  // namespace

void CRequestBudget::StartClock(long seconds) {
    if (seconds <= 0) {
        m_limitSeconds = 0;
        m_deadlineMs.store(0, std::memory_order_release);
        return;
    }
    m_limitSeconds = std::min(seconds, kLongestLimitSeconds);
    // Never 0, which means no deadline.
    m_deadlineMs.store(std::max<std::int64_t>(1, Now() + static_cast<std::int64_t>(m_limitSeconds) * 1000),
                       std::memory_order_release);
}

void CRequestBudget::Check() {
    if (StoppedBy() == RequestStop::None) {
        const std::int64_t now = Now();
        const std::int64_t deadline = m_deadlineMs.load(std::memory_order_acquire);
        if (now >= m_nextReceiverLookMs) {
            m_nextReceiverLookMs = now + kReceiverLookMs;
            if (m_receiverGone && m_receiverGone()) Stop(RequestStop::Abandoned);
        }
        if (deadline != 0 && now > deadline) Stop(RequestStop::TimedOut);
    }
    if (CWebException* error = StopError()) throw error;
}

CWebException* CRequestBudget::StopError() const {
    switch (StoppedBy()) {
        case RequestStop::None:
            return nullptr;
        case RequestStop::TimedOut:
            return new CWebException(
                "Request timed out",
                CWebMessage("The time taken to process your request has exceeded the allowable limit of ") +
                    std::to_string(m_limitSeconds) +
                    " seconds. Please notify the server administrator (using the mail link below) that this error has "
                    "occurred. <P>Note: You can override the request time limit by adding a 'RequestTimeout' "
                    "parameter to the URL used to request the page (e.g. page.tsm?RequestTimeout=500).");
        case RequestStop::Abandoned:
            return new CWebException("Request abandoned",
                                     "The connection to the web server closed before the page was finished, so its "
                                     "work was stopped.");
        case RequestStop::ShuttingDown: {
            auto* error = new CWebException("Server shutting down",
                                            "The server was stopped while it worked on this request, so the work was "
                                            "stopped. Please try your request again in a moment.");
            error->SetHttpStatus(503);
            return error;
        }
    }
    return nullptr;
}

void CRequestBudget::Stop(RequestStop why) {
    if (why == RequestStop::None) return;
    int expected = 0;
    if (!m_stop.compare_exchange_strong(expected, static_cast<int>(why), std::memory_order_acq_rel)) return;
    CancelRunningCall();
}

void CRequestBudget::Watch() {
    if (StoppedBy() != RequestStop::None) {
        // A call too young to be cancelled at the stop is cancelled now.
        CancelRunningCall();
        return;
    }
    const std::int64_t deadline = m_deadlineMs.load(std::memory_order_acquire);
    if (deadline != 0 && Now() > deadline)
        Stop(RequestStop::TimedOut);
    else if (m_receiverGone && m_receiverGone())
        Stop(RequestStop::Abandoned);
}

void CRequestBudget::CancelRunningCall() {
    std::lock_guard lock(m_cancelMutex);
    if (m_running == nullptr || !m_running->m_cancel || Now() - m_running->m_sinceMs < kCancelAfterMs) return;
    std::function<void()> cancel = std::move(m_running->m_cancel);
    m_running->m_cancel = nullptr;
    try {
        cancel();
    } catch (...) {
        // A cancel that fails leaves the call to end by itself.
    }
}

CRequestBudget::CancelScope::CancelScope(CRequestBudget& budget, std::function<void()> cancel)
    : m_budget(budget), m_cancel(std::move(cancel)), m_sinceMs(Now()) {
    std::lock_guard lock(budget.m_cancelMutex);
    m_outer = budget.m_running;
    budget.m_running = this;
}

CRequestBudget::CancelScope::~CancelScope() {
    // Waits for a cancel in progress: the call it cancels is over only then.
    std::lock_guard lock(m_budget.m_cancelMutex);
    m_budget.m_running = m_outer;
}

void CRequestBudget::ReadResultByteLimit(CServerSettings* settings) {
    const long value = settings == nullptr ? 0 : settings->GetNumber("Server", "MaxQueryResultBytes", 0);
    SetResultByteLimit(value > 0 ? static_cast<std::size_t>(value) : 0);
}

void CRequestBudget::DrawResultBytes(std::size_t bytes) {
    if (bytes > m_resultLimit || m_resultBytes > m_resultLimit - bytes) RefuseResultBytes();
    m_resultBytes += bytes;
}

void CRequestBudget::RefuseResultBytes() const {
    throw new CWebException(
        "Query results too large",
        CWebMessage("The results of this page's queries would hold more than ") + std::to_string(m_resultLimit) +
            " bytes, the most a page may keep (Server\\MaxQueryResultBytes). Ask for fewer rows (the MAXROWS "
            "attribute of TSQUERY, a narrower WHERE clause or a LIMIT) or fewer columns.");
}

CWebMessage CRequestBudget::HeaderOverrun(const std::string& header) {
    std::size_t longest = 0;
    std::size_t longestAt = 0;
    for (std::size_t start = 0; start < header.size();) {
        std::size_t end = header.find('\n', start);
        if (end == std::string::npos) end = header.size();
        if (end - start > longest) {
            longest = end - start;
            longestAt = start;
        }
        start = end + 1;
    }
    if (longest <= kMaxHeaderLineBytes && header.size() <= kMaxHeaderBytes) return {};
    CWebMessage detail = CWebMessage("The reply's headers would be longer than a web server accepts (at most ") +
                         std::to_string(kMaxHeaderLineBytes) + " bytes in one header and " +
                         std::to_string(kMaxHeaderBytes) + " bytes in all): ";
    if (longest <= kMaxHeaderLineBytes) return detail + "they have " + std::to_string(header.size()) + " bytes.";
    // The header's name, as far as it looks like one.
    const std::size_t colon = header.find(':', longestAt);
    if (colon == std::string::npos || colon - longestAt > 64)
        return detail + "one header has " + std::to_string(longest) + " bytes.";
    return detail + "the header " + header.substr(longestAt, colon - longestAt) + " has " + std::to_string(longest) +
           " bytes.";
}
