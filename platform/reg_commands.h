// The registry store's administration as tsreg offers it (get, set, del, delkey, list,
// export, import, newmachine), on this machine's store or another's, without the command
// line: every command gives its exit status, its standard output and its message.
#pragma once

#include <istream>
#include <string>

#include "platform/registry_store.h"

namespace tessaro::platform {

// Owns one open key and closes it on every path (predefined roots are never closed).
class RegKeyHandle {
public:
    RegKeyHandle() = default;
    explicit RegKeyHandle(HKEY key) : m_key(key) {}
    ~RegKeyHandle() { Reset(); }
    RegKeyHandle(RegKeyHandle&& other) noexcept : m_key(other.Release()) {}
    RegKeyHandle& operator=(RegKeyHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    RegKeyHandle(const RegKeyHandle&) = delete;
    RegKeyHandle& operator=(const RegKeyHandle&) = delete;

    HKEY Get() const { return m_key; }
    HKEY* Out() {
        Reset();
        return &m_key;
    }
    HKEY Release() {
        HKEY key = m_key;
        m_key = nullptr;
        return key;
    }
    void Reset(HKEY key = nullptr) {
        if (m_key) RegCloseKey(m_key);
        m_key = key;
    }
    explicit operator bool() const { return m_key != nullptr; }

private:
    HKEY m_key = nullptr;
};

// What a command did: status 0 (done), 1 (failed) or 2 (the key path names no root);
// output for standard output; message (one line, without the program's name) for
// standard error when not empty.
struct RegCommandResult {
    int status = 0;
    std::string output;
    std::string message;
};

class RegCommands {
public:
    // machine: "" for this machine's store, else a name RegConnectRegistry knows.
    explicit RegCommands(std::string machine = {}) : m_machine(std::move(machine)) {}

    // KEY is a full path such as HKEY_LOCAL_MACHINE\SOFTWARE\Brendlow\Tessaro\CurrentVersion\Server.
    RegCommandResult Get(const std::string& key, const std::string& name) const;
    RegCommandResult Set(const std::string& key, const std::string& name, const std::string& value) const;
    RegCommandResult Delete(const std::string& key, const std::string& name) const;
    RegCommandResult DeleteKey(const std::string& key) const;
    RegCommandResult List(const std::string& key) const;
    RegCommandResult Export(const std::string& key) const;
    // Applies the text form (platform/reg_text_format.h) all or nothing: every line is
    // checked first, then the whole file is written in one transaction of the store, so a
    // bad line or a failed write leaves the store as it was. source names the input in
    // messages ("FILE:LINE: ...").
    RegCommandResult Import(std::istream& in, const std::string& source) const;

    // Creates (or opens) the store of another machine.
    static RegCommandResult CreateMachine(const std::string& name);

    // Opens (or with create, creates) the key of a full path on the chosen machine;
    // ERROR_INVALID_PARAMETER when the path names no root.
    long OpenPath(const std::string& fullPath, bool create, RegKeyHandle& key) const;

private:
    // The root of a full path on the chosen machine (connected, and then owned by root)
    // and the rest of the path.
    long SplitPath(const std::string& fullPath, RegKeyHandle& root, std::string* rest) const;

    std::string m_machine;
};

// "not found", "access denied", ... or the system's text of a registry error number.
std::string RegCommandErrorText(long code);

}  // namespace tessaro::platform
