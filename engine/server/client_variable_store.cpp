#include "engine/server/client_variable_store.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "engine/server/client_id_allocator.h"
#include "engine/server/client_id_source.h"
#include "platform/path_util.h"
#include "platform/win32_error.h"
#include "support/registry.h"
#include "support/text_helpers.h"
#include "support/timestamp_literal.h"
#include "support/web_exception.h"

namespace reg = tessaro::platform;

namespace {

constexpr const char* kDisabledDetail =
    "Server-side application client variables are currently disabled. In order to enable them the "
    "TSAPPLICATION tag must be used with the CLIENTMANAGEMENT attribute set to YES.";

// Longest token accepted from a request; real tokens are at most 19 digits.
constexpr std::size_t kMaxTokenLength = 64;

[[noreturn]] void ThrowDisabled(const CWebMessage& title) {
    throw new CWebException(title, kDisabledDetail);
}

// The whole text of a string value (no 4095-character cut), or false when the
// value is missing.
bool ReadValue(const CRegistryKey& key, const std::string& name, std::string& text) {
    std::uint32_t type = 0;
    long err = reg::RegQueryValue(key.GetHandle(), name, &type, &text);
    if (err == reg::ERROR_FILE_NOT_FOUND) return false;
    ThrowIfRegistryError(err);
    std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return true;
}

long NextHitCount(const std::string& stored) {
    errno = 0;
    long value = std::strtol(stored.c_str(), nullptr, 10);
    if (errno == ERANGE || value >= LONG_MAX) return LONG_MAX;
    return value + 1;
}

}  // namespace

bool IsReservedClientName(const std::string& name) {
    static const char* const kReserved[] = {"TSID", "TSTOKEN", "HITCOUNT", "TIMECREATED", "LASTVISIT", "URLTOKEN"};
    for (const char* reserved : kReserved)
        if (tessaro::platform::EqualsNoCase(name.c_str(), reserved)) return true;
    return false;
}

std::string ClientTimeStamp() {
    return LocalTimestampLiteral(std::time(nullptr));
}

// --- disabled store ----------------------------------------------------------

namespace {

// The store keeps a variable under "<application>::<name>"; the author wrote only the name.
std::string AuthorsName(const std::string& stored) {
    std::size_t separator = stored.rfind("::");
    return separator == std::string::npos ? stored : stored.substr(separator + 2);
}

}  // namespace

void CDisabledClientStore::GetVariableNames(std::vector<std::string>&) {
    ThrowDisabled("Unable to get a list of client variables.");
}

bool CDisabledClientStore::IsReserved(const std::string& name) {
    ThrowDisabled(CWebMessage::Fill("Unable to access the client variable, %s.", AuthorsName(name)));
}

std::string CDisabledClientStore::Get(const std::string& name) {
    ThrowDisabled(CWebMessage::Fill("Unable to get the client variable, %s.", AuthorsName(name)));
}

void CDisabledClientStore::Set(const std::string& name, const std::string&) {
    ThrowDisabled(CWebMessage::Fill("Unable to set the client variable, %s.", AuthorsName(name)));
}

void CDisabledClientStore::Delete(const std::string& name) {
    ThrowDisabled(CWebMessage::Fill("Unable to delete the client variable, %s.", AuthorsName(name)));
}

// --- registry store ----------------------------------------------------------

CRegistryClientStore::CRegistryClientStore(CClientIdSource& idSource, const CRegistryKey& clientsKey,
                                           tessaro::platform::TimedMutex& idLock)
    : m_idSource(idSource), m_now(ClientTimeStamp()) {
    bool identified = false;
    if (m_idSource.UrlParameterExists("TSID")) {
        m_id = m_idSource.GetUrlParameter("TSID");
        m_token = m_idSource.UrlParameterExists("TSTOKEN") ? m_idSource.GetUrlParameter("TSTOKEN") : std::string();
        identified = true;
    } else if (m_idSource.CookieExists("TSID")) {
        m_id = m_idSource.GetCookie("TSID");
        m_token = m_idSource.CookieExists("TSTOKEN") ? m_idSource.GetCookie("TSTOKEN") : std::string();
        identified = true;
    }

    if (!identified || !IsValidClient(clientsKey)) {
        m_id = GenerateUniqueClient(clientsKey, idLock);
        m_token = NewClientToken();
        CRegistryKey fresh(clientsKey, m_id, KEY_ALL_ACCESS);
        fresh.SetString("TSTOKEN", m_token);
    }

    m_key = std::make_unique<CRegistryKey>(clientsKey, m_id, KEY_ALL_ACCESS);
    RecordVisit();

    m_idSource.SetCookie("TSID", m_id);
    m_idSource.SetCookie("TSTOKEN", m_token);
}

CRegistryClientStore::~CRegistryClientStore() = default;

bool CRegistryClientStore::IsValidClient(const CRegistryKey& clientsKey) const {
    // Only a plain decimal id can name a client key; anything else (a path, an
    // empty text) would reach other keys.
    if (!IsWellFormedClientId(m_id) || m_token.empty() || m_token.size() > kMaxTokenLength) return false;
    if (!CRegistryKey::OpenReadOnly(clientsKey, m_id)) return false;
    CRegistryKey client(clientsKey, m_id, KEY_READ);
    std::string stored;
    return ReadValue(client, "TSTOKEN", stored) && stored == m_token;
}

void CRegistryClientStore::RecordVisit() {
    // One transaction, so that concurrent requests of one client count every hit.
    m_key->RunInTransaction([this] {
        if (!m_key->ValueExists("TIMECREATED")) m_key->SetString("TIMECREATED", m_now);
        std::string stored;
        m_lastVisit = ReadValue(*m_key, "LASTVISIT", stored) ? stored : m_now;
        m_key->SetString("LASTVISIT", m_now);
        if (ReadValue(*m_key, "HITCOUNT", stored))
            m_key->SetString("HITCOUNT", std::to_string(NextHitCount(stored)));
        else
            m_key->SetString("HITCOUNT", "1");
    });
}

bool CRegistryClientStore::IsReserved(const std::string& name) {
    return IsReservedClientName(name);
}

bool CRegistryClientStore::Exists(const std::string& name) {
    if (IsReserved(name)) return true;
    return m_key->ValueExists(name);
}

std::string CRegistryClientStore::Get(const std::string& name) {
    if (tessaro::platform::EqualsNoCase(name.c_str(), "URLTOKEN")) return "TSID=" + m_id + "&TSTOKEN=" + m_token;
    if (tessaro::platform::EqualsNoCase(name.c_str(), "TSID")) return m_id;
    if (tessaro::platform::EqualsNoCase(name.c_str(), "LASTVISIT")) return m_lastVisit;
    std::string value;
    if (ReadValue(*m_key, name, value)) return value;
    throw new CWebException(
        CWebMessage::Fill("The variable 'CLIENT.%s' does not exist.", name),
        CWebMessage::Fill("A reference was made to a client variable named '%s', but no variable of that "
                          "name has been set for the client. (The current client ID is '%s'.)",
                          name, m_id));
}

void CRegistryClientStore::Set(const std::string& name, const std::string& value) {
    if (IsReserved(name))
        throw new CWebException(
            "Error attempting to set a read-only client value.",
            CWebMessage::Fill("'CLIENT.%s' is a read-only variable defined by the system. You cannot set "
                              "its value.",
                              name));
    m_key->SetString(UpperCopy(name), value);
}

void CRegistryClientStore::Delete(const std::string& name) {
    if (!Exists(name))
        throw new CWebException(
            "Error attempting to delete a client value.",
            CWebMessage::Fill("'CLIENT.%s' does not exist, so there is nothing to delete. (The current "
                              "client ID is '%s'.)",
                              name, m_id));
    if (IsReserved(name))
        throw new CWebException(
            "Error attempting to delete a system-reserved client value.",
            CWebMessage::Fill("'CLIENT.%s' is a read-only client variable defined by the system. You "
                              "cannot delete it.",
                              name));
    m_key->DeleteValue(name);
}

void CRegistryClientStore::GetVariableNames(std::vector<std::string>& names) {
    try {
        m_key->EnumValueNames(names);
    } catch (CRegistryException* e) {
        std::string text = e->GetErrorMessage();
        e->Delete();
        throw new CWebException(
            CWebMessage::Fill("Error attempting to get the client variables.(The current client ID is '%s'.)", m_id),
            CWebMessage::Value(text));
    }
}
