// The client-variable purge: clients whose last visit lies Clients\Timeout days
// or more in the past are deleted, each in a registry transaction of its own.
#pragma once

#include <cstdint>
#include <ctime>
#include <set>
#include <string>

class CRegistryKey;
class CRegistrySettings;
namespace tessaro::platform {
class ManualResetEvent;
}

// Milliseconds between passes for the configured Server\PurgeInterval: never more
// than an hour, never less than a second, 0 or negative = the default.
std::uint32_t PurgeInterval(long configured);

// "{ts 'YYYY-MM-DD HH:MM:SS'}" of local time now less the days (calendar days, so a
// change of daylight saving time keeps the clock time); "" when that time cannot
// be written in that form (a year before 1900).
std::string PurgeCutOff(std::time_t now, long days);

// True for "{ts 'dddd-dd-dd dd:dd:dd'}", the only form that compares as a time.
bool IsClientTimeStamp(const std::string& text);

class CClientPurge {
public:
    // root is the open system root key; not owned.
    explicit CClientPurge(const CRegistryKey& root) : m_root(root) {}

    // One pass at the time now; the number of clients deleted. Throws
    // CWebException* when the registry fails.
    int PurgeExpiredClients(std::time_t now);

private:
    bool PurgeClient(const CRegistryKey& clients, const std::string& id, const std::string& cutOff,
                     std::set<std::string>& unvisited);

    const CRegistryKey& m_root;
    // Clients found without LASTVISIT in the previous pass: only a second sighting
    // deletes one, so that a client the engine is creating right now survives.
    std::set<std::string> m_unvisited;
};

// The purge thread's body: a pass at once, then one every interval until stop is set.
void RunClientPurge(CRegistrySettings& settings, tessaro::platform::ManualResetEvent& stop);
