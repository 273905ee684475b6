#include "engine/server/client_id_allocator.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/server/server_error_log.h"
#include "support/web_exception.h"
#include "platform/random_bytes.h"
#include "platform/win32_error.h"
#include "support/registry.h"

namespace reg = tessaro::platform;

namespace {

constexpr long long kLargestClientId = 999999999999999999LL;  // 18 digits
constexpr int kMaxCreateAttempts = 1000;

// LastID as atol would read it, kept within the range of ids; anything else is 0.
long long ParseLastId(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || value < 0 || value >= kLargestClientId) return 0;
    return value;
}

long long LargestNumericSubKey(const CRegistryKey& clientsKey) {
    std::vector<std::string> names;
    clientsKey.EnumSubKeys(names);
    long long largest = 0;
    for (const std::string& name : names) {
        if (!IsWellFormedClientId(name)) continue;
        long long value = std::strtoll(name.c_str(), nullptr, 10);
        if (value > largest) largest = value;
    }
    return largest;
}

// Creates clientsKey\name only when it is new; false when it already existed.
bool CreateNewSubKey(const CRegistryKey& clientsKey, const std::string& name) {
    reg::HKEY key = nullptr;
    bool created = false;
    ThrowIfRegistryError(reg::RegCreateKey(clientsKey.GetHandle(), name, &key, &created));
    reg::RegCloseKey(key);
    return created;
}

std::string IdText(long long id) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", id);
    return text;
}

}  // namespace

bool IsWellFormedClientId(const std::string& id) {
    if (id.empty() || id.size() > 18) return false;
    for (char c : id)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string GenerateUniqueClient(const CRegistryKey& clientsKey, tessaro::platform::TimedMutex& idLock,
                                 std::uint32_t waitMs) {
    tessaro::platform::TimedLockGuard<tessaro::platform::TimedMutex> lock(idLock, waitMs);
    if (!lock.Held()) {
        LogServerError("The mutex timed-out in GenerateUniqueClient().", 0);
        throw new CWebException(
            "Synchronization error.",
            "Please paste the text of this error into a mail message to the system administrator. The service "
            "timed-out waiting for the operating system's attempt to guarantee one thread mutually exclusive access "
            "to generate a unique Tessaro client ID. ");
    }

    std::string id;
    clientsKey.RunInTransaction([&] {
        std::string lastId = clientsKey.ValueExists("LastID") ? clientsKey.GetString("LastID") : std::string();
        long long candidate = ParseLastId(lastId) + 1;
        // Enumeration is by name text, not by number, so the next free id comes from
        // the largest numeric name; and a key is only ever taken when it is new.
        bool scanned = false;
        for (int attempt = 0;; ++attempt) {
            if (attempt == kMaxCreateAttempts || candidate > kLargestClientId)
                ThrowIfRegistryError(reg::ERROR_NO_MORE_ITEMS);
            if (CreateNewSubKey(clientsKey, IdText(candidate))) break;
            if (!scanned) {
                scanned = true;
                long long next = LargestNumericSubKey(clientsKey) + 1;
                candidate = next > candidate ? next : candidate + 1;
            } else {
                ++candidate;
            }
        }
        id = IdText(candidate);
        clientsKey.SetString("LastID", id);
    });
    return id;
}

std::string NewClientToken() {
    unsigned long long value = 0;
    if (!tessaro::platform::FillRandomBytes(&value, sizeof value))
        throw new CWebException("Unable to create a client token.", "The system's random source could not be read.");
    // 62 bits keep the text within a signed 64-bit number for any reader.
    value &= (1ULL << 62) - 1;
    char text[32];
    std::snprintf(text, sizeof text, "%llu", value);
    return text;
}
