#include "engine/server/pipe_listener.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/server/body_memory_budget.h"
#include "engine/server/request_context.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_thread_pool.h"
#include "engine/server/request_worker.h"
#include "engine/server/server_error_log.h"
#include "support/server_settings.h"
#include "platform/descriptor.h"
#include "platform/request_socket.h"
#include "platform/win32_error.h"

namespace plat = tessaro::platform;
using tessaro::platform::Win32LastErrno;

struct CPipeListener::Slots {
    struct Silent {
        int fd;
        std::chrono::steady_clock::time_point since;
        bool evicted = false;
        bool begun = false;  // its first bytes came; it is no longer silent
    };
    std::mutex mutex;
    std::condition_variable freed;
    int open = 0;
    std::atomic<bool> stopping{false};  // seen by workers still waiting for their request
    std::list<Silent> silent;           // connections whose request has not arrived whole, oldest first
    int maxArriving = kDefaultMaxArrivingConnections;

    // The connections still arriving that keep their place (the caller holds the mutex).
    int Arriving() const {
        int n = 0;
        for (const auto& entry : silent)
            if (!entry.evicted) ++n;
        return n;
    }
    // Room for one more connection, whoever accepts it (the caller holds the mutex).
    bool HasRoom(int maxInstances) const { return open < maxInstances && Arriving() < maxArriving; }
};

class CPipeListener::Instance {
public:
    // Counted by WaitForSlot.
    explicit Instance(std::shared_ptr<Slots> slots) : m_slots(std::move(slots)) {}
    ~Instance() {
        if (!m_slots) return;
        std::lock_guard lock(m_slots->mutex);
        --m_slots->open;
        m_slots->freed.notify_all();
    }
    Instance(Instance&&) noexcept = default;
    Instance& operator=(Instance&&) = delete;

private:
    std::shared_ptr<Slots> m_slots;
};

class CPipeListener::Arrival {
public:
    // Counted as arriving from the accept on, so the listener's limit sees it at once.
    Arrival(std::shared_ptr<Slots> slots, int fd) : m_slots(std::move(slots)) {
        std::lock_guard lock(m_slots->mutex);
        m_entry = m_slots->silent.insert(m_slots->silent.end(), {fd, std::chrono::steady_clock::now()});
    }
    ~Arrival() { Leave(); }
    Arrival(Arrival&& other) noexcept : m_slots(std::move(other.m_slots)), m_entry(other.m_entry) {}
    Arrival& operator=(Arrival&&) = delete;

    const std::atomic<bool>& Stopping() const { return m_slots->stopping; }
    // Its first bytes have come (or the wait for them is over); false when its place was
    // given away meanwhile.
    bool Begin() {
        std::lock_guard lock(m_slots->mutex);
        m_entry->begun = true;
        return !m_entry->evicted;
    }
    // Out of the list, and a listener waiting for room woken; false when its place was
    // given away: the connection was shut down and no page can reach it.
    bool Leave() {
        if (!m_slots) return false;
        std::lock_guard lock(m_slots->mutex);
        const bool kept = !m_entry->evicted;
        m_slots->silent.erase(m_entry);
        m_slots->freed.notify_all();
        m_slots.reset();
        return kept;
    }

private:
    std::shared_ptr<Slots> m_slots;  // null once it has left
    std::list<Slots::Silent>::iterator m_entry;
};

// Ends in the reverse order: out of the arriving list, the request (socket closed, context
// deleted), and last the instance.
struct CPipeListener::Connection {
    Instance instance;
    RequestHandle request;
    Arrival arrival;
};

std::string CPipeListener::DefaultSocketPath() {
    return plat::RequestSocketPath();
}

CPipeListener::CPipeListener(std::string socketPath, const RequestRoad& road, std::atomic<int>& listening,
                             std::function<void(const std::string&, long)> onFatal, int maxInstances)
    : m_path(std::move(socketPath)),
      m_road(road),
      m_listening(listening),
      m_onFatal(std::move(onFatal)),
      m_slots(std::make_shared<Slots>()),
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
    const int arriving = slots.Arriving();
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

std::optional<CPipeListener::Instance> CPipeListener::WaitForSlot() {
    std::unique_lock lock(m_slots->mutex);
    // At the instance limit the listener waits for a worker to end instead of
    // giving up: load must not stop the engine. Places are taken from slow senders only
    // for connections that wait to be accepted, and at once: a whole request waits no
    // longer than the slowest sender ahead of it takes to grow old enough to go.
    while (!m_slots->HasRoom(m_maxInstances) && !m_stopping && m_listening) {
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
    if (m_stopping || !m_listening) return std::nullopt;
    ++m_slots->open;
    return std::optional<Instance>(std::in_place, m_slots);
}

bool CPipeListener::EnsureOpen() {
    if (m_listenFd >= 0) return true;
    long error = 0;
    if (Open(&error)) return true;
    if (m_onFatal) m_onFatal("Error attempting to create named pipe for Tessaro server.", error);
    return false;
}

void CPipeListener::PrepareRoad() {
    // As many threads stay ready as requests may work at once.
    if (m_road.limiter && m_road.limiter->IsEnabled())
        m_road.threads.Keep(static_cast<std::size_t>(m_road.limiter->GetMaxRequests()));
    std::lock_guard lock(m_slots->mutex);
    m_slots->maxArriving = MaxArrivingConnections();
}

int CPipeListener::AcceptClient() {
    for (;;) {
        int fd = m_listenFd.load();
        if (fd < 0 || m_stopping) return -1;
        int client = -1;
        long error = 0;
        switch (plat::AcceptRequestConnection(fd, 500, &client, &error)) {
            case plat::AcceptStatus::Accepted:
                return client;
            case plat::AcceptStatus::WaitFailed:
                return -1;
            case plat::AcceptStatus::Idle:
                if (!m_listening) return -1;
                continue;
            case plat::AcceptStatus::Retry:
                continue;
            case plat::AcceptStatus::Exhausted:
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                continue;
            case plat::AcceptStatus::AcceptFailed:
                // A stop shuts the socket down under accept; that is no error.
                if (m_stopping || !m_listening) return -1;
                LogServerError("Unexpected error returned from ConnectNamedPipe.", error);
                return -1;
        }
    }
}

void CPipeListener::ServeConnection(Connection connection, const RequestRoad& road, int readTimeoutMs) {
    CRequestContext& request = *connection.request;
    bool arrived = WaitForRequestBytes(request.m_socket, readTimeoutMs, connection.arrival.Stopping());
    if (!connection.arrival.Begin()) arrived = false;
    // A permit only for a request that has arrived whole: one that stalls mid-frame, breaks
    // off or is malformed gets its read error page without ever holding a permit.
    const bool whole = arrived && request.m_reader->ReceiveRequest();
    if (!connection.arrival.Leave()) arrived = false;
    // One that has not arrived ends here: its descriptor goes at once.
    if (arrived) RunRequest(std::move(connection.request), whole ? road.limiter : nullptr, road.dispatcher, road.watch);
}

CRequestThreadPool::Job CPipeListener::ConnectionJob(int client, Instance instance) {
    const int timeoutMs = m_readTimeoutMs;
    plat::SetSendTimeout(client, timeoutMs);
    Connection connection{std::move(instance), MakePipeRequest(client, m_road.dispatcher.GetServerSettings(), m_bodyBudget, timeoutMs),
                          Arrival(m_slots, client)};
    return [connection = std::move(connection), road = m_road, timeoutMs]() mutable {
        ServeConnection(std::move(connection), road, timeoutMs);
    };
}

void CPipeListener::StartConnection(int client, Instance instance) {
    try {
        m_road.threads.Run(ConnectionJob(client, std::move(instance)));
    } catch (...) {
        // No thread for it: the connection went with the job (closed, its places given back).
    }
}

void CPipeListener::RefuseAfterFlagCleared(int client, Instance instance) {
    plat::CloseDescriptor(client);
    { Instance given = std::move(instance); }  // its place goes back before the line is written
    LogServerError(
        "Pipe successfully connected but listener flag was set to FALSE (note: this is not an error condition).", 0);
}

std::optional<CPipeListener::Instance> CPipeListener::TryTakeSlot() {
    std::lock_guard lock(m_slots->mutex);
    if (m_stopping || !m_listening || !m_slots->HasRoom(m_maxInstances)) return std::nullopt;
    ++m_slots->open;
    return std::optional<Instance>(std::in_place, m_slots);
}

CRequestThreadPool::Job CPipeListener::TakeArrivedConnection() {
    const int fd = m_listenFd.load();
    if (fd < 0 || m_stopping || !m_listening) return {};
    // Nothing waiting is the usual answer, and the cheapest: no place is taken for it.
    if (plat::WaitForInput(fd, 0) != plat::InputWait::Ready) return {};
    std::optional<Instance> instance = TryTakeSlot();
    if (!instance) return {};  // the listener waits for room, and evicts, as it always does
    const int client = plat::TakeWaitingConnection(fd);
    if (client < 0) return {};  // the listener took it, or accepting failed: its loop reports that
    if (!m_listening) {
        RefuseAfterFlagCleared(client, std::move(*instance));
        return {};
    }
    return ConnectionJob(client, std::move(*instance));
}

void CPipeListener::Run() {
    if (!EnsureOpen()) return;
    PrepareRoad();
    // Finished request threads take the next connections themselves while they are awake;
    // the listener takes those that come while none is. None asks once the loop has ended.
    struct ProbeGuard {
        CRequestThreadPool& threads;
        ~ProbeGuard() { threads.ClearIdleProbe(); }
    } probing{m_road.threads};
    m_road.threads.SetIdleProbe([this] { return TakeArrivedConnection(); });
    try {
        while (m_listening && !m_stopping) {
            std::optional<Instance> instance = WaitForSlot();
            if (!instance) break;
            const int client = AcceptClient();
            if (client < 0) {
                instance.reset();
                if (m_listening && !m_stopping && m_onFatal) m_onFatal("Exception thrown from within Listener Thread.", 0);
                break;
            }
            if (!m_listening) {
                RefuseAfterFlagCleared(client, std::move(*instance));
                break;
            }
            StartConnection(client, std::move(*instance));
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
