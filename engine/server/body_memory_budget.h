// The bytes of request bodies held in memory at once, across every connection. A body
// that does not fit (or is large) goes to a private temporary file instead, so that many
// large posts arriving together cannot take the engine's memory before any of them holds
// a request permit.
#pragma once

#include <cstddef>
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

// A share of the budget; released when destroyed.
class BodyMemoryReservation {
public:
    BodyMemoryReservation() = default;
    ~BodyMemoryReservation() { Release(); }
    BodyMemoryReservation(const BodyMemoryReservation&) = delete;
    BodyMemoryReservation& operator=(const BodyMemoryReservation&) = delete;

    // Takes bytes of the budget when the bytes held would stay within cap (a body above
    // kMaxBodyInMemoryBytes never fits); false leaves nothing taken.
    bool TryTake(std::size_t bytes, std::size_t cap);
    void Release();
    std::size_t Bytes() const { return m_bytes; }

    // The bytes held by every reservation now.
    static std::size_t HeldNow();

private:
    std::size_t m_bytes = 0;
};
