// Registry access for every program of the system: one open key, the exception a
// failing registry call raises, and typed settings below a root key with defaults.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework_exception.h"
#include "platform/registry_store.h"

using tessaro::platform::HKEY;
using tessaro::platform::HKEY_CLASSES_ROOT;
using tessaro::platform::HKEY_CURRENT_USER;
using tessaro::platform::HKEY_LOCAL_MACHINE;
using tessaro::platform::HKEY_USERS;
using tessaro::platform::KEY_ALL_ACCESS;
using tessaro::platform::KEY_READ;
using tessaro::platform::KEY_WRITE;
using REGSAM = std::uint32_t;

// The root of the system's settings below HKEY_LOCAL_MACHINE.
inline constexpr const char* kTessaroRegistryRoot = "SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion";

class CRegistryException : public CException {
public:
    explicit CRegistryException(long errorCode);

    long GetErrorCode() const { return m_errorCode; }
    const std::string& GetDetail() const { return m_detail; }
    // "A problem was encountered trying to access the system registry. Error number
    // <n> occurred" + (" - " + detail, or ".").
    std::string GetErrorMessage() const override;
    const char* GetTypeName() const override { return "CRegistryException"; }

private:
    long m_errorCode;
    std::string m_detail;
};

// Throws new CRegistryException(code) when code is not 0.
void ThrowIfRegistryError(long code);

class CRegistryKey {
public:
    // Wraps an existing handle; the destructor closes it when owns is true.
    CRegistryKey(HKEY root, bool owns);
    // Opens parent\subkey with the access mask; throws CRegistryException.
    CRegistryKey(HKEY parent, const std::string& subkey, REGSAM access);
    CRegistryKey(const CRegistryKey& parent, const std::string& subkey, REGSAM access);
    // Connects to hkey of another machine ("NAME" or "\\NAME"; empty = this one).
    CRegistryKey(const std::string& machine, HKEY hkey);
    virtual ~CRegistryKey();

    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;
    CRegistryKey(CRegistryKey&& other) noexcept;
    CRegistryKey& operator=(CRegistryKey&& other) noexcept;

    // The same as the machine constructor, for callers that pass "\\" + name.
    static std::unique_ptr<CRegistryKey> ConnectRemote(const std::string& machinePath, HKEY hkey);

    HKEY GetHandle() const { return m_hKey; }

    // Opens or creates a subkey; the caller owns (deletes) the result.
    CRegistryKey* CreateSubKey(const std::string& name) const;

    // Empties the list, then adds every subkey name in enumeration order.
    void EnumSubKeys(std::vector<std::string>& names) const;
    // Empties the list, then adds the names of the REG_SZ values only.
    void EnumValueNames(std::vector<std::string>& names) const;
    // Adds every REG_SZ value, name to text.
    void GetValues(std::map<std::string, std::string>& values) const;

    void SetString(const std::string& name, const std::string& text) const;
    // True when the value exists (also when too long to read); false when missing.
    bool ValueExists(const std::string& name) const;
    // The value's text (at most 4095 characters; a longer value raises 234).
    std::string GetString(const std::string& name) const;
    std::string GetStringValue(const std::string& name) const { return GetString(name); }
    // The value's text converted like atoi/atol: leading blanks, sign, digits; else 0.
    long GetNumber(const std::string& name) const;
    void DeleteValue(const std::string& name) const;
    // Deletes a direct subkey that has no subkeys of its own.
    void DeleteSubKey(const std::string& name) const;

    // True when parent\name opens with KEY_READ; false when it is missing (2);
    // other errors raise.
    static bool OpenReadOnly(HKEY parent, const std::string& name);
    static bool OpenReadOnly(const CRegistryKey& parent, const std::string& name);
    // Creates root\name when it does not exist.
    static void EnsureSubKey(HKEY root, const std::string& name);
    static void EnsureSubKey(const CRegistryKey& root, const std::string& name);
    // Deletes root\path and everything below it, children first.
    static void DeleteKeyTree(HKEY root, const std::string& path);
    static void DeleteKeyTree(const CRegistryKey& root, const std::string& path);

    // Runs body in one write transaction of this key's store (a read-modify-write
    // such as a counter); rolls back and rethrows when body throws.
    void RunInTransaction(const std::function<void()>& body) const;

private:
    void Init() {
        m_hKey = nullptr;
        m_bOwns = true;
    }
    void Close();

    HKEY m_hKey = nullptr;
    bool m_bOwns = true;
};

class CRegistrySettings {
public:
    // root is not owned and must outlive the settings.
    explicit CRegistrySettings(CRegistryKey* root);
    virtual ~CRegistrySettings();

    // The value, or the default on any registry error.
    virtual std::string GetString(const std::string& section, const std::string& name, const std::string& defaultValue);
    virtual long GetNumber(const std::string& section, const std::string& name, long defaultValue);
    // Creates the section when missing and writes the value; errors raise.
    virtual void Set(const std::string& section, const std::string& name, const std::string& text);
    // The REG_SZ value names of a section; a missing section gives an empty list.
    virtual void Enumerate(const std::string& section, std::vector<std::string>& names);
    // Deletes the section and everything below it; errors are ignored.
    virtual void DeleteSection(const std::string& section);

    CRegistryKey* GetRootKey() const { return m_pRoot; }

private:
    // Every request reads a few dozen settings: values read are kept until the store
    // changes (any process's write is seen by the next read; see RegistryStoreStamp).
    struct ReadCache;
    // The value's text; false when reading it raised a registry error.
    bool ReadValue(const std::string& section, const std::string& name, std::string& text);

    CRegistryKey* m_pRoot;
    std::unique_ptr<ReadCache> m_cache;
};

// Opens HKEY_LOCAL_MACHINE\<kTessaroRegistryRoot>, creating it when missing
// (falls back to read-only access when it cannot be created); throws CRegistryException.
std::unique_ptr<CRegistryKey> OpenTessaroRootKey();

// Reads root\section\name from HKEY_LOCAL_MACHINE with read access; the default
// on any error. For callers that have no settings object at hand.
std::string ReadTessaroSetting(const std::string& section, const std::string& name, const std::string& defaultValue);
// The same, telling why there is no value: 0 with the value, ERROR_FILE_NOT_FOUND (2) when the
// key or the value is missing, another Windows error number when the settings cannot be read.
long ReadTessaroSettingChecked(const std::string& section, const std::string& name, std::string* value);
