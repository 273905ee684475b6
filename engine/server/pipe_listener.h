// The engine's request socket: accepts one connection per request and gives
// each a worker thread, with at most kMaxInstances connections open at once.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/server/body_memory_budget.h"
#include "engine/server/request_thread_pool.h"
#include "engine/server/request_worker.h"

class CPipeListener {
public:
    static constexpr int kMaxInstances = 255;
    static constexpr int kCreateAttempts = 3;
    static constexpr int kRetryMilliseconds = 500;
    // How long a connection may stay silent before its request starts, and how
    // long the request's frames may take to arrive; a reply write that blocks
    // this long also ends the request.
    static constexpr int kDefaultReadTimeoutMilliseconds = 60000;
    // Connections whose request has not arrived whole yet (Server\MaxArrivingConnections):
    // at the limit, while others wait to be accepted, the one arriving longest is dropped
    // (see kArrivalGrace), so slow senders cannot keep every connection and the requests
    // behind them waiting.
    static constexpr int kDefaultMaxArrivingConnections = 64;
    // How long a connection keeps its place among the arriving ones, while others wait to be
    // accepted, before the one arriving longest gives it up (a whole request arrives in
    // far less).
    static constexpr std::chrono::milliseconds kArrivalGrace{250};

    // road: what each request's worker uses (not owned); listening is the engine's flag;
    // onFatal runs (once) when the socket cannot be made or fails, so that the engine stops
    // through its normal path.
    CPipeListener(std::string socketPath, const RequestRoad& road, std::atomic<int>& listening,
                  std::function<void(const std::string&, long)> onFatal, int maxInstances = kMaxInstances);
    ~CPipeListener();
    CPipeListener(const CPipeListener&) = delete;
    CPipeListener& operator=(const CPipeListener&) = delete;

    // Takes the socket's lock and binds it (3 attempts, 500 ms apart).
    bool Open(long* errorNumber);
    // The accept loop; returns when the flag is cleared or Stop is called.
    void Run();
    // Wakes the accept loop (the flag should be cleared first).
    void Stop();

    int GetOpenConnections() const;
    void SetReadTimeout(int milliseconds) { m_readTimeoutMs = milliseconds; }

    // The socket path under the runtime root.
    static std::string DefaultSocketPath();

private:
    // The listener's count of open connections and the list of those still arriving, shared
    // with the workers, which may outlive the listener.
    struct Slots;
    // An instance of the limit, taken before the accept; given back when it goes.
    class Instance;
    // A connection's place among those whose request has not arrived whole.
    class Arrival;
    // What an accepted connection holds until its worker ends.
    struct Connection;

    bool TryOpen(long* errorNumber);
    // Open unless already open; otherwise the fatal report.
    bool EnsureOpen();
    // What every worker of this run reads once: the threads kept, the arrival limit.
    void PrepareRoad();
    // An instance once one is free (none: the listener stops).
    std::optional<Instance> WaitForSlot();
    // A new connection, or -1 when the listener stops or accepting fails for good.
    int AcceptClient();
    // The connection's request and its worker; a connection no thread takes ends at once.
    void StartConnection(int client, Instance instance);
    // What serves an accepted connection, on whichever thread runs it.
    CRequestThreadPool::Job ConnectionJob(int client, Instance instance);
    // Asked by a request thread that has just finished: a connection waiting to be accepted,
    // taken and served on that thread (no wake-up of the listener and no hand-off on the
    // road), within the same limits as the listener's own accepts; none when there is no
    // such connection or no room for it.
    CRequestThreadPool::Job TakeArrivedConnection();
    // An instance when one is free now (none: full, or the listener stops).
    std::optional<Instance> TryTakeSlot();
    // A connection accepted after the listening flag was cleared: closed, its place given
    // back, and the reason logged.
    void RefuseAfterFlagCleared(int client, Instance instance);
    // The worker: waits for the request to arrive whole, then runs it.
    static void ServeConnection(Connection connection, const RequestRoad& road, int readTimeoutMs);
    static std::chrono::milliseconds EvictSilentClient(Slots& slots);
    int MaxArrivingConnections() const;

    std::string m_path;
    RequestRoad m_road;
    std::atomic<int>& m_listening;
    std::function<void(const std::string&, long)> m_onFatal;
    std::shared_ptr<Slots> m_slots;
    // The memory the bodies of its requests hold while they wait to be parsed.
    std::shared_ptr<BodyMemoryBudget> m_bodyBudget = std::make_shared<BodyMemoryBudget>();
    int m_maxInstances;
    int m_readTimeoutMs = kDefaultReadTimeoutMilliseconds;
    int m_lockFd = -1;
    std::atomic<int> m_listenFd{-1};
    std::atomic<bool> m_stopping{false};
};
