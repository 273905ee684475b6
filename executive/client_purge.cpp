#include "executive/client_purge.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "support/registry.h"
#include "support/timestamp_literal.h"
#include "support/trace_log.h"
#include "support/web_exception.h"
#include "executive/executive_log.h"
#include "platform/clock.h"
#include "platform/scm_event.h"

namespace {

constexpr long kDefaultPurgeInterval = 86400000;
constexpr std::uint32_t kShortestPurgeInterval = 1000;
constexpr std::uint32_t kLongestPurgeInterval = 3600000;
constexpr const char* kDefaultTimeout = "90";

// Leading blanks, an optional sign and the leading digits; anything else is 0.
long ParseDays(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

std::string WithoutTrailingParagraph(std::string text) {
    if (text.size() >= 3 && text.compare(text.size() - 3, 3, "<P>") == 0) text.resize(text.size() - 3);
    return text;
}

}  // namespace

std::uint32_t PurgeInterval(long configured) {
    if (configured <= 0) configured = kDefaultPurgeInterval;
    return static_cast<std::uint32_t>(std::clamp<long>(configured, kShortestPurgeInterval, kLongestPurgeInterval));
}

std::string PurgeCutOff(std::time_t now, long days) {
    std::tm local{};
    if (!tessaro::platform::ToLocalTime(now, local)) return {};
    // Far beyond any real time-out: the cut-off would leave the four-digit years.
    if (days > 36500L * 20) return {};
    local.tm_mday -= static_cast<int>(days);
    local.tm_isdst = -1;
    std::time_t cut = std::mktime(&local);
    if (cut == static_cast<std::time_t>(-1) || local.tm_year < 0 || local.tm_year > 9999 - 1900) return {};
    return FormatTimestampLiteral(local);
}

bool IsClientTimeStamp(const std::string& text) {
    return IsTimestampLiteral(text);
}

int CClientPurge::PurgeExpiredClients(std::time_t now) {
    int purged = 0;
    try {
        // The engine makes the key when a page first reaches client variables; until then a
        // pass is no error, and the default Timeout it writes is there to be changed.
        std::unique_ptr<CRegistryKey> clients(m_root.CreateSubKey("Clients"));
        long days = 90;
        if (clients->ValueExists("Timeout"))
            days = ParseDays(clients->GetStringValue("Timeout"));
        else
            clients->SetString("Timeout", kDefaultTimeout);
        if (days < 1) return 0;
        std::string cutOff = PurgeCutOff(now, days);
        if (cutOff.empty()) return 0;

        std::vector<std::string> names;
        clients->EnumSubKeys(names);
        std::set<std::string> unvisited;
        for (const std::string& id : names)
            if (PurgeClient(*clients, id, cutOff, unvisited)) ++purged;
        m_unvisited = std::move(unvisited);
    } catch (CRegistryException* e) {
        std::string text = e->GetErrorMessage();
        e->Delete();
        throw new CWebException("Error attempting to purge clients.", CWebMessage::Value(text));
    }
    return purged;
}

bool CClientPurge::PurgeClient(const CRegistryKey& clients, const std::string& id, const std::string& cutOff,
                               std::set<std::string>& unvisited) {
    // Every subkey is a client, whatever its name: the engine numbers the ones it makes, and
    // a key named otherwise expires by its last visit all the same, in the log like any other.
    bool deleted = false;
    std::string lastVisit;
    // The last visit is read again and the key deleted under one write lock, so a
    // request that records a visit meanwhile keeps its client.
    clients.RunInTransaction([&] {
        // Deleted since the enumeration (by the engine): nothing to do.
        if (!CRegistryKey::OpenReadOnly(clients, id)) return;
        bool visited;
        {
            CRegistryKey client(clients, id, KEY_READ);
            visited = client.ValueExists("LASTVISIT");
            lastVisit = visited ? client.GetStringValue("LASTVISIT") : std::string();
        }
        if (!visited) {
            unvisited.insert(id);
            if (!m_unvisited.count(id)) return;
        } else if (!IsClientTimeStamp(lastVisit)) {
            ReportExecutive("Warning",
                            "Client ID '" + id + "' was kept: its last visit '" + lastVisit + "' is not a time stamp.");
            return;
        } else if (lastVisit > cutOff) {
            return;
        }
        CRegistryKey::DeleteKeyTree(clients, id);
        deleted = true;
    });
    if (deleted)
        WriteTraceLog("SERVER", "Information", "Purged client ID '" + id + "'; Last visited '" + lastVisit + "'");
    return deleted;
}

void RunClientPurge(CRegistrySettings& settings, tessaro::platform::ManualResetEvent& stop) {
    std::uint32_t interval = PurgeInterval(settings.GetNumber("Server", "PurgeInterval", kDefaultPurgeInterval));
    CClientPurge purge(*settings.GetRootKey());
    do {
        try {
            purge.PurgeExpiredClients(std::time(nullptr));
        } catch (CWebException* e) {
            ReportExecutive("Error", "Error attempting to purge clients. " + WithoutTrailingParagraph(e->GetDetail()));
            e->Delete();
        } catch (CException* e) {
            e->Delete();
            ReportExecutive("Error", "An unexpected error occurred while attempting to purge clients.");
        } catch (...) {
            ReportExecutive("Error", "An unexpected error occurred while attempting to purge clients.");
        }
    } while (!stop.WaitFor(interval));
}
