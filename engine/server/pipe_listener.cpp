#include "engine/server/pipe_listener.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/server/body_memory_budget.h"
#include "engine/server/reply_channel.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_context.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_reader.h"
#include "engine/server/request_thread_pool.h"
#include "engine/server/request_worker.h"
#include "engine/server/server_error_log.h"
#include "support/server_settings.h"
#include "platform/descriptor.h"
#include "platform/request_socket.h"
#include "platform/win32_error.h"

namespace plat = tessaro::platform;
using tessaro::platform::Win32LastErrno;

std::string CPipeListener::DefaultSocketPath() {
    return plat::RequestSocketPath();
}

CPipeListener::CPipeListener(std::string socketPath, const RequestRoad& road, std::atomic<int>& listening,
                             std::function<void(const std::string&, long)> onFatal, int maxInstances)
    : m_path(std::move(socketPath)),
      m_road(road),
      m_listening(listening),
      m_onFatal(std::move(onFatal)),
      m_maxInstances(maxInstances > 0 ? maxInstances : kMaxInstances) {}

CPipeListener::~CPipeListener() {
    plat::CloseRequestSocket(m_listenFd.exchange(-1), m_path);
    plat::CloseDescriptor(m_lockFd);
}

int CPipeListener::GetOpenConnections() const {
    std::lock_guard lock(m_slots->mutex);
    return m_slots->open;
}

bool CPipeListener::TryOpen(long* errorNumber) {
    // Without the lock another engine serves this socket.
    if (!plat::LockRequestSocket(m_path, &m_lockFd, errorNumber)) return false;
    // The lock makes this the one engine of the runtime root: bodies kept in files are only
    // ever its own, so what is there before it listens was left by one that died.
    RemoveLeftoverBodyFiles();
    int fd = plat::ListenOnRequestSocket(m_path, errorNumber);
    if (fd < 0) return false;
    m_listenFd = fd;
    return true;
}

bool CPipeListener::Open(long* errorNumber) {
    long error = 0;
    for (int attempt = 1; attempt <= kCreateAttempts; ++attempt) {
        if (TryOpen(&error)) return true;
        if (attempt < kCreateAttempts) std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMilliseconds));
    }
    if (errorNumber) *errorNumber = error;
    return false;
}

namespace {

// A connection that sends nothing must not take one of the limiter's permits
// from the requests behind it: a worker waits for its first bytes first. A stop
// ends the wait, so that shutdown need not wait for silent clients.
bool WaitForRequestBytes(int client, int timeoutMs, const std::atomic<bool>& stopping) {
    constexpr long long kStopCheckMs = 200;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stopping) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        switch (plat::WaitForInput(client, static_cast<int>(std::min<long long>(left.count(), kStopCheckMs)))) {
            case plat::InputWait::Ready:
                return true;  // data, or an end the reader reports itself
            case plat::InputWait::Failed:
                return false;
            case plat::InputWait::TimedOut:
            case plat::InputWait::Interrupted:
                break;
        }
    }
}

}  // namespace

std::chrono::milliseconds CPipeListener::EvictSilentClient(Slots& slots) {
    // Called while connections wait to be accepted: a client that has sent nothing for a
    // while gives its place to one of them, so that silent connections cannot hold every
    // instance; at the limit of arriving connections the one that has been arriving longest
    // goes as well, unless its bytes are coming in right now (a large request on its way). A
    // whole request is read at once and leaves the list, so only those that trickle grow old
    // in it. The caller holds the mutex, and a worker leaves the list under it before
    // closing: the descriptor is still its own. The answer is how long until the next
    // entry is old enough (zero when one went).
    const auto now = std::chrono::steady_clock::now();
    int arriving = 0;
    for (const auto& entry : slots.silent)
        if (!entry.evicted) ++arriving;
    Slots::Silent* slowest = nullptr;
    std::chrono::milliseconds next = kArrivalGrace;
    for (auto& entry : slots.silent) {
        if (entry.evicted) continue;
        if (now - entry.since < kArrivalGrace) {
            next = std::chrono::duration_cast<std::chrono::milliseconds>(kArrivalGrace - (now - entry.since)) +
                   std::chrono::milliseconds(1);
            break;
        }
        const bool receiving = plat::WaitForInput(entry.fd, 0) != plat::InputWait::TimedOut;
        if (!slowest && !receiving) slowest = &entry;
        if (entry.begun || receiving) continue;  // its request has begun to arrive
        entry.evicted = true;
        plat::ShutdownSocket(entry.fd);
        return std::chrono::milliseconds(0);
    }
    if (slowest && arriving >= slots.maxArriving) {
        slowest->evicted = true;
        plat::ShutdownSocket(slowest->fd);
        return std::chrono::milliseconds(0);
    }
    return next;
}

int CPipeListener::MaxArrivingConnections() const {
    CServerSettings* settings = m_road.dispatcher.GetServerSettings();
    long v = settings ? settings->GetNumber("Server", "MaxArrivingConnections", kDefaultMaxArrivingConnections)
                      : kDefaultMaxArrivingConnections;
    return v > 0 && v <= kMaxInstances ? static_cast<int>(v) : kDefaultMaxArrivingConnections;
}

bool CPipeListener::WaitForSlot() {
    std::unique_lock lock(m_slots->mutex);
    auto arriving = [this] {
        int n = 0;
        for (const auto& entry : m_slots->silent)
            if (!entry.evicted) ++n;
        return n;
    };
    // At the instance limit the listener waits for a worker to end instead of
    // giving up: load must not stop the engine. Places are taken from slow senders only
    // for connections that wait to be accepted, and at once: a whole request waits no
    // longer than the slowest sender ahead of it takes to grow old enough to go.
    while ((m_slots->open >= m_maxInstances || arriving() >= m_slots->maxArriving) && !m_stopping && m_listening) {
        std::chrono::milliseconds wait(200);
        const int fd = m_listenFd.load();
        if (fd >= 0 && plat::WaitForInput(fd, 0) == plat::InputWait::Ready) {
            const std::chrono::milliseconds next = EvictSilentClient(*m_slots);
            // A place among the arriving connections is free at once; an instance only
            // when the dropped connection's worker has ended.
            if (next.count() == 0 && m_slots->open < m_maxInstances) continue;
            if (next.count() > 0) wait = std::min(wait, next);
        }
        m_slots->freed.wait_for(lock, wait);
    }
    if (m_stopping || !m_listening) return false;
    ++m_slots->open;
    return true;
}

void CPipeListener::Run() {
    if (m_listenFd < 0) {
        long error = 0;
        if (!Open(&error)) {
            if (m_onFatal) m_onFatal("Error attempting to create named pipe for Tessaro server.", error);
            return;
        }
    }
    // As many threads stay ready as requests may work at once.
    if (m_road.limiter && m_road.limiter->IsEnabled())
        m_road.threads.Keep(static_cast<std::size_t>(m_road.limiter->GetMaxRequests()));
    {
        std::lock_guard lock(m_slots->mutex);
        m_slots->maxArriving = MaxArrivingConnections();
    }
    try {
        while (m_listening && !m_stopping) {
            if (!WaitForSlot()) break;
            int client = -1;
            for (;;) {
                int fd = m_listenFd.load();
                if (fd < 0 || m_stopping) break;
                long error = 0;
                plat::AcceptStatus status = plat::AcceptRequestConnection(fd, 500, &client, &error);
                if (status == plat::AcceptStatus::Accepted || status == plat::AcceptStatus::WaitFailed) break;
                if (status == plat::AcceptStatus::Idle) {
                    if (!m_listening) break;
                    continue;
                }
                if (status == plat::AcceptStatus::Retry) continue;
                if (status == plat::AcceptStatus::Exhausted) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    continue;
                }
                // A stop shuts the socket down under accept; that is no error.
                if (m_stopping || !m_listening) break;
                LogServerError("Unexpected error returned from ConnectNamedPipe.", error);
                break;
            }
            if (client < 0) {
                std::lock_guard lock(m_slots->mutex);
                --m_slots->open;
                if (m_listening && !m_stopping && m_onFatal)
                    m_onFatal("Exception thrown from within Listener Thread.", 0);
                break;
            }
            if (!m_listening) {
                plat::CloseDescriptor(client);
                {
                    std::lock_guard lock(m_slots->mutex);
                    --m_slots->open;
                }
                LogServerError(
                    "Pipe successfully connected but listener flag was set to FALSE (note: this is not an error "
                    "condition).",
                    0);
                break;
            }
            const int timeoutMs = m_readTimeoutMs;
            plat::SetSendTimeout(client, timeoutMs);
            auto* context = new CRequestContext;
            context->m_socket = client;
            context->m_pChannel = new CPipeReplyChannel(client);
            context->m_pWriter = new CReplyWriter(context->m_pChannel);
            auto* reader = new CPipeRequestReader(client, m_road.dispatcher.GetServerSettings(), timeoutMs);
            context->m_pReader = reader;
            std::shared_ptr<Slots> slots = m_slots;
            RequestLimiter* limiter = m_road.limiter;
            CRequestDispatcher& dispatcher = m_road.dispatcher;
            // Counted as arriving from the accept on, so the listener's limit sees it at once.
            std::list<Slots::Silent>::iterator entry;
            {
                std::lock_guard lock(m_slots->mutex);
                entry = m_slots->silent.insert(m_slots->silent.end(), {client, std::chrono::steady_clock::now()});
            }
            try {
                CRequestWatch* watch = m_road.watch;
                m_road.threads.Run([context, reader, limiter, &dispatcher, slots, timeoutMs, entry, watch] {
                    bool arrived = WaitForRequestBytes(context->m_socket, timeoutMs, slots->stopping);
                    {
                        std::lock_guard lock(slots->mutex);
                        if (entry->evicted) arrived = false;
                        entry->begun = true;
                    }
                    // A permit only for a request that has arrived whole: one that
                    // stalls mid-frame, breaks off or is malformed gets its read
                    // error page without ever holding a permit.
                    bool whole = arrived && reader->ReceiveRequest();
                    {
                        std::lock_guard lock(slots->mutex);
                        // A connection that gave its place away was shut down: no page can
                        // reach it, and its descriptor goes at once.
                        if (entry->evicted) arrived = false;
                        slots->silent.erase(entry);
                        slots->freed.notify_all();
                    }
                    if (arrived) {
                        RunRequest(context, whole ? limiter : nullptr, dispatcher, watch);
                    } else {
                        plat::CloseDescriptor(context->m_socket);
                        context->m_socket = -1;
                        delete context;
                    }
                    {
                        std::lock_guard lock(slots->mutex);
                        --slots->open;
                        slots->freed.notify_all();
                    }
                });
            } catch (...) {
                {
                    std::lock_guard lock(m_slots->mutex);
                    m_slots->silent.erase(entry);
                }
                plat::CloseDescriptor(client);
                context->m_socket = -1;
                delete context;
                std::lock_guard lock(m_slots->mutex);
                --m_slots->open;
            }
        }
    } catch (...) {
        if (m_onFatal) m_onFatal("Exception thrown from within Listener Thread.", Win32LastErrno());
    }
}

void CPipeListener::Stop() {
    m_stopping = true;
    m_slots->stopping = true;
    int fd = m_listenFd.load();
    if (fd >= 0) plat::ShutdownSocket(fd);
    m_slots->freed.notify_all();
}
