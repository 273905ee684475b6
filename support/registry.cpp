#include "support/registry.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/win32_error.h"
#include "support/number_parse.h"

namespace reg = tessaro::platform;

namespace {

// Buffer sizes the registry calls are made with.
constexpr std::size_t kNameBufferSize = 4096;
constexpr std::size_t kValueBufferSize = 4096;
constexpr std::size_t kEnumBufferSize = 1024;

}  // namespace

// --- CRegistryException ---------------------------------------------------

CRegistryException::CRegistryException(long errorCode) : m_errorCode(errorCode) {
    if (errorCode == reg::ERROR_ACCESS_DENIED) {
        m_detail = "Access denied to registry key ";
        m_detail += "(probably due to security constraints).";
    }
}

std::string CRegistryException::GetErrorMessage() const {
    char number[32];
    std::snprintf(number, sizeof number, "%ld", m_errorCode);
    std::string text = "A problem was encountered trying to access the system registry. ";
    text += "Error number ";
    text += number;
    text += " occurred";
    text += m_detail.empty() ? std::string(".") : " - " + m_detail;
    return text;
}

void ThrowIfRegistryError(long code) {
    if (code != reg::ERROR_SUCCESS) throw new CRegistryException(code);
}

// --- CRegistryKey ----------------------------------------------------------

CRegistryKey::CRegistryKey(HKEY root, bool owns) {
    Init();
    m_hKey = root;
    m_bOwns = owns;
}

CRegistryKey::CRegistryKey(HKEY parent, const std::string& subkey, REGSAM access) {
    Init();
    HKEY key = nullptr;
    ThrowIfRegistryError(reg::RegOpenKey(parent, subkey, access, &key));
    m_hKey = key;
}

CRegistryKey::CRegistryKey(const CRegistryKey& parent, const std::string& subkey, REGSAM access)
    : CRegistryKey(parent.m_hKey, subkey, access) {}

CRegistryKey::CRegistryKey(const std::string& machine, HKEY hkey) {
    Init();
    // The machine name is kept to the 4096 characters of the original buffer.
    std::string name = machine.substr(0, 4095);
    HKEY key = nullptr;
    ThrowIfRegistryError(reg::RegConnectRegistry(name, hkey, &key));
    m_hKey = key;
}

std::unique_ptr<CRegistryKey> CRegistryKey::ConnectRemote(const std::string& machinePath, HKEY hkey) {
    return std::make_unique<CRegistryKey>(machinePath, hkey);
}

CRegistryKey::~CRegistryKey() {
    Close();
}

CRegistryKey::CRegistryKey(CRegistryKey&& other) noexcept : m_hKey(other.m_hKey), m_bOwns(other.m_bOwns) {
    other.m_hKey = nullptr;
}

CRegistryKey& CRegistryKey::operator=(CRegistryKey&& other) noexcept {
    if (this != &other) {
        Close();
        m_hKey = other.m_hKey;
        m_bOwns = other.m_bOwns;
        other.m_hKey = nullptr;
    }
    return *this;
}

void CRegistryKey::Close() {
    if (m_bOwns && m_hKey) reg::RegCloseKey(m_hKey);
    m_hKey = nullptr;
}

CRegistryKey* CRegistryKey::CreateSubKey(const std::string& name) const {
    HKEY key = nullptr;
    ThrowIfRegistryError(reg::RegCreateKey(m_hKey, name, &key));
    return new CRegistryKey(key, true);
}

void CRegistryKey::EnumSubKeys(std::vector<std::string>& names) const {
    names.clear();
    std::string name;
    for (std::uint32_t i = 0;; ++i) {
        long err = reg::RegEnumKey(m_hKey, i, &name, kNameBufferSize);
        if (err == reg::ERROR_NO_MORE_ITEMS) return;
        ThrowIfRegistryError(err);
        names.push_back(name);
    }
}

void CRegistryKey::EnumValueNames(std::vector<std::string>& names) const {
    names.clear();
    std::string name;
    std::uint32_t type = 0;
    for (std::uint32_t i = 0;; ++i) {
        // Only names and types are needed; a long value must not end the walk.
        long err = reg::RegEnumValue(m_hKey, i, &name, &type, nullptr, kEnumBufferSize, 0);
        if (err == reg::ERROR_NO_MORE_ITEMS) return;
        ThrowIfRegistryError(err);
        if (type == reg::REG_SZ) names.push_back(name);
    }
}

void CRegistryKey::GetValues(std::map<std::string, std::string>& values) const {
    std::string name, data;
    std::uint32_t type = 0;
    for (std::uint32_t i = 0;; ++i) {
        long err = reg::RegEnumValue(m_hKey, i, &name, &type, &data, kNameBufferSize, kValueBufferSize);
        if (err == reg::ERROR_NO_MORE_ITEMS) return;
        ThrowIfRegistryError(err);
        if (type == reg::REG_SZ) values[name] = data;
    }
}

void CRegistryKey::SetString(const std::string& name, const std::string& text) const {
    ThrowIfRegistryError(reg::RegSetString(m_hKey, name, text));
}

bool CRegistryKey::ValueExists(const std::string& name) const {
    std::size_t needed = 0;
    long err = reg::RegQueryValue(m_hKey, name, nullptr, nullptr, 0, &needed);
    if (err == reg::ERROR_SUCCESS || err == reg::ERROR_MORE_DATA) return true;
    if (err == reg::ERROR_FILE_NOT_FOUND) return false;
    throw new CRegistryException(err);
}

std::string CRegistryKey::GetString(const std::string& name) const {
    std::string data;
    std::uint32_t type = 0;
    ThrowIfRegistryError(reg::RegQueryValue(m_hKey, name, &type, &data, kValueBufferSize));
    // A text is read up to its first NUL, as from a C buffer.
    std::size_t nul = data.find('\0');
    if (nul != std::string::npos) data.resize(nul);
    return data;
}

long CRegistryKey::GetNumber(const std::string& name) const {
    return AsciiToLong(GetString(name));
}

void CRegistryKey::DeleteValue(const std::string& name) const {
    ThrowIfRegistryError(reg::RegDeleteValue(m_hKey, name));
}

void CRegistryKey::DeleteSubKey(const std::string& name) const {
    ThrowIfRegistryError(reg::RegDeleteKey(m_hKey, name));
}

bool CRegistryKey::OpenReadOnly(HKEY parent, const std::string& name) {
    try {
        CRegistryKey key(parent, name, KEY_READ);
        return true;
    } catch (CRegistryException* e) {
        if (e->GetErrorCode() != reg::ERROR_FILE_NOT_FOUND) throw;
        e->Delete();
        return false;
    }
}

bool CRegistryKey::OpenReadOnly(const CRegistryKey& parent, const std::string& name) {
    return OpenReadOnly(parent.m_hKey, name);
}

void CRegistryKey::EnsureSubKey(HKEY root, const std::string& name) {
    if (!OpenReadOnly(root, name)) {
        HKEY key = nullptr;
        ThrowIfRegistryError(reg::RegCreateKey(root, name, &key));
        reg::RegCloseKey(key);
    }
}

void CRegistryKey::EnsureSubKey(const CRegistryKey& root, const std::string& name) {
    EnsureSubKey(root.m_hKey, name);
}

void CRegistryKey::DeleteKeyTree(HKEY root, const std::string& path) {
    ThrowIfRegistryError(reg::RegDeleteTree(root, path));
}

void CRegistryKey::DeleteKeyTree(const CRegistryKey& root, const std::string& path) {
    DeleteKeyTree(root.m_hKey, path);
}

void CRegistryKey::RunInTransaction(const std::function<void()>& body) const {
    ThrowIfRegistryError(reg::RegRunTransaction(m_hKey, [&]() -> long {
        body();
        return reg::ERROR_SUCCESS;
    }));
}

// --- CRegistrySettings -----------------------------------------------------

struct CRegistrySettings::ReadCache {
    // Sections named by data sources and the like are open-ended: past this the cache starts afresh.
    static constexpr std::size_t kMaxValues = 4096;
    std::mutex lock;
    std::string storePath;
    std::uint64_t stamp = 0;
    // section '\0' name -> the text, or nothing when reading it raised a registry error.
    std::unordered_map<std::string, std::optional<std::string>> values;
    // section -> its value names (a section that is missing has none).
    std::unordered_map<std::string, std::vector<std::string>> sections;

    void Clear() {
        std::lock_guard<std::mutex> hold(lock);
        values.clear();
        sections.clear();
        stamp = 0;
    }
    // True when what is kept was read under this stamp of this store; else it is dropped and
    // the cache starts afresh under them. Called with the lock held.
    bool Holds(std::uint64_t now, const std::string& path) {
        if (Still(now, path)) return true;
        values.clear();
        sections.clear();
        stamp = now;
        storePath = path;
        return false;
    }
    bool Still(std::uint64_t now, const std::string& path) const { return stamp == now && storePath == path; }
};

CRegistrySettings::CRegistrySettings(CRegistryKey* root) : m_pRoot(root), m_cache(std::make_unique<ReadCache>()) {}

CRegistrySettings::~CRegistrySettings() = default;

bool CRegistrySettings::ReadValue(const std::string& section, const std::string& name, std::string& text) {
    std::string storePath;
    std::uint64_t stamp = 0;
    const bool keep = m_pRoot != nullptr && reg::RegStoreStamp(m_pRoot->GetHandle(), &storePath, &stamp);
    std::string key;
    if (keep) {
        key.reserve(section.size() + name.size() + 1);
        key.append(section).push_back('\0');
        key.append(name);
        std::lock_guard<std::mutex> hold(m_cache->lock);
        if (m_cache->Holds(stamp, storePath)) {
            auto found = m_cache->values.find(key);
            if (found != m_cache->values.end()) {
                if (!found->second) return false;
                text = *found->second;
                return true;
            }
        }
    }
    std::optional<std::string> value;
    try {
        CRegistryKey opened(*m_pRoot, section, KEY_READ);
        value = opened.GetString(name);
    } catch (CRegistryException* e) {
        e->Delete();
    }
    if (keep) {
        // Kept under the stamp taken before the read: a change meanwhile moves the stamp on.
        std::lock_guard<std::mutex> hold(m_cache->lock);
        if (m_cache->Still(stamp, storePath)) {
            if (m_cache->values.size() >= ReadCache::kMaxValues) m_cache->values.clear();
            m_cache->values[key] = value;
        }
    }
    if (!value) return false;
    text = std::move(*value);
    return true;
}

std::string CRegistrySettings::GetString(const std::string& section, const std::string& name,
                                         const std::string& defaultValue) {
    std::string text;
    return ReadValue(section, name, text) ? text : defaultValue;
}

long CRegistrySettings::GetNumber(const std::string& section, const std::string& name, long defaultValue) {
    std::string text;
    return ReadValue(section, name, text) ? AsciiToLong(text) : defaultValue;
}

void CRegistrySettings::Set(const std::string& section, const std::string& name, const std::string& text) {
    m_cache->Clear();
    CRegistryKey::EnsureSubKey(*m_pRoot, section);
    CRegistryKey key(*m_pRoot, section, KEY_ALL_ACCESS);
    key.SetString(name, text);
}

void CRegistrySettings::Enumerate(const std::string& section, std::vector<std::string>& names) {
    // A read: the section is opened, never created; a missing one has no values. The names
    // are kept as values are (a request asks for some lists each time).
    names.clear();
    std::string storePath;
    std::uint64_t stamp = 0;
    const bool keep = reg::RegStoreStamp(m_pRoot->GetHandle(), &storePath, &stamp);
    if (keep) {
        std::lock_guard<std::mutex> hold(m_cache->lock);
        if (m_cache->Holds(stamp, storePath)) {
            auto found = m_cache->sections.find(section);
            if (found != m_cache->sections.end()) {
                names = found->second;
                return;
            }
        }
    }
    HKEY handle = nullptr;
    long err = reg::RegOpenKey(m_pRoot->GetHandle(), section, KEY_READ, &handle);
    if (err != reg::ERROR_FILE_NOT_FOUND) {
        ThrowIfRegistryError(err);
        CRegistryKey key(handle, true);
        key.EnumValueNames(names);
    }
    if (keep) {
        std::lock_guard<std::mutex> hold(m_cache->lock);
        if (m_cache->Still(stamp, storePath)) {
            if (m_cache->sections.size() >= ReadCache::kMaxValues) m_cache->sections.clear();
            m_cache->sections[section] = names;
        }
    }
}

void CRegistrySettings::DeleteSection(const std::string& section) {
    m_cache->Clear();
    try {
        CRegistryKey::DeleteKeyTree(*m_pRoot, section);
    } catch (CRegistryException* e) {
        e->Delete();
    }
}

// --- helpers ---------------------------------------------------------------

std::unique_ptr<CRegistryKey> OpenTessaroRootKey() {
    HKEY key = nullptr;
    long err = reg::RegCreateKey(HKEY_LOCAL_MACHINE, kTessaroRegistryRoot, &key);
    if (err == reg::ERROR_ACCESS_DENIED)
        err = reg::RegOpenKey(HKEY_LOCAL_MACHINE, kTessaroRegistryRoot, KEY_READ, &key);
    ThrowIfRegistryError(err);
    return std::make_unique<CRegistryKey>(key, true);
}

long ReadTessaroSettingChecked(const std::string& section, const std::string& name, std::string* value) {
    HKEY key = nullptr;
    std::string path = std::string(kTessaroRegistryRoot) + "\\" + section;
    long err = reg::RegOpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ, &key);
    if (err != reg::ERROR_SUCCESS) return err == reg::ERROR_KEY_DELETED ? reg::ERROR_FILE_NOT_FOUND : err;
    std::string data;
    std::uint32_t type = 0;
    err = reg::RegQueryValue(key, name, &type, &data, kValueBufferSize);
    reg::RegCloseKey(key);
    if (err != reg::ERROR_SUCCESS) return err;
    if (type != reg::REG_SZ) return reg::ERROR_FILE_NOT_FOUND;
    std::size_t nul = data.find('\0');
    if (nul != std::string::npos) data.resize(nul);
    *value = data;
    return reg::ERROR_SUCCESS;
}

std::string ReadTessaroSetting(const std::string& section, const std::string& name, const std::string& defaultValue) {
    std::string value;
    return ReadTessaroSettingChecked(section, name, &value) == reg::ERROR_SUCCESS ? value : defaultValue;
}
