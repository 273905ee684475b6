// Hands out client ids and tokens for the client-variable store.
#pragma once

#include <cstdint>
#include <string>

#include "platform/timed_lock.h"

class CRegistryKey;

inline constexpr std::uint32_t kClientIdMutexWaitMs = 60000;

// The process-wide lock that serialises id allocation within this process (the
// store transaction serialises it against other processes).
tessaro::platform::TimedMutex& ClientIdMutex();

// A new client id under clientsKey (the open Clients key): one more than the
// larger of LastID and the largest numeric client key, created as a key that did
// not exist before; LastID is updated. A wait on the lock longer than waitMs logs
// a SERVER error and throws CWebException* "Synchronization error.".
std::string GenerateUniqueClient(const CRegistryKey& clientsKey, std::uint32_t waitMs = kClientIdMutexWaitMs);

// Engine shutdown hook; the lock is a plain process object, so nothing is held.
void CloseClientMutex();

// A client token: decimal text of an unpredictable number from the system's
// random source. Throws CWebException* when no random bytes can be had.
std::string NewClientToken();

// True for a decimal client id the store can hold as a key name (1 to 18 digits).
bool IsWellFormedClientId(const std::string& id);
