// Hands out client ids and tokens for the client-variable store.
#pragma once

#include <cstdint>
#include <string>

#include "platform/timed_lock.h"

class CRegistryKey;

inline constexpr std::uint32_t kClientIdMutexWaitMs = 60000;

// A new client id under clientsKey (the open Clients key): one more than the
// larger of LastID and the largest numeric client key, created as a key that did
// not exist before; LastID is updated. idLock is the engine's lock that serialises
// allocation within this process (the store transaction serialises it against other
// processes); a wait on it longer than waitMs logs a SERVER error and throws
// CWebException* "Synchronization error.".
std::string GenerateUniqueClient(const CRegistryKey& clientsKey, tessaro::platform::TimedMutex& idLock,
                                 std::uint32_t waitMs = kClientIdMutexWaitMs);

// A client token: decimal text of an unpredictable number from the system's
// random source. Throws CWebException* when no random bytes can be had.
std::string NewClientToken();

// True for a decimal client id the store can hold as a key name (1 to 18 digits).
bool IsWellFormedClientId(const std::string& id);
