// The bytes of request bodies held in memory at once, across every connection. A body
// that does not fit (or is large) goes to a private temporary file instead, so that many
// large posts arriving together cannot take the engine's memory before any of them holds
// a request permit.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

class CServerSettings;

// Bodies up to this size are kept in memory when the budget allows; larger ones always
// go to a file.
inline constexpr std::size_t kMaxBodyInMemoryBytes = 1024u * 1024u;
// Server\MaxBodyMemoryBytes when it is not set (or not positive).
inline constexpr std::size_t kDefaultMaxBodyMemoryBytes = 64u * 1024u * 1024u;

// The private folder of request bodies kept in files while they wait: $TESSARO_HOME/tmp/body.
std::string BodyFileFolder();

// Removes every file left in BodyFileFolder() (an engine killed while requests arrived
// leaves their bodies there). Only for the engine that holds the request socket: no other
// writes there.
void RemoveLeftoverBodyFiles();

// Server\MaxBodyMemoryBytes, or the default.
std::size_t MaxBodyMemoryBytes(CServerSettings* settings);

// The budget of the listener whose requests share it: the bytes its reservations hold.
class BodyMemoryBudget {
public:
    // The bytes held by every reservation now.
    std::size_t HeldNow() const { return m_held.load(); }

private:
    friend class BodyMemoryReservation;
    std::atomic<std::size_t> m_held{0};
};

// A share of a budget; released when destroyed. It keeps its budget alive, so a request
// that outlives its listener still gives its share back.
class BodyMemoryReservation {
public:
    BodyMemoryReservation() = default;
    ~BodyMemoryReservation() { Release(); }
    BodyMemoryReservation(const BodyMemoryReservation&) = delete;
    BodyMemoryReservation& operator=(const BodyMemoryReservation&) = delete;

    // Takes bytes of budget when the bytes it holds would stay within cap (a body above
    // kMaxBodyInMemoryBytes never fits); false leaves nothing taken.
    bool TryTake(std::shared_ptr<BodyMemoryBudget> budget, std::size_t bytes, std::size_t cap);
    void Release();
    std::size_t Bytes() const { return m_bytes; }

private:
    std::shared_ptr<BodyMemoryBudget> m_budget;
    std::size_t m_bytes = 0;
};
