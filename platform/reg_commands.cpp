#include "platform/reg_commands.h"

#include <sstream>
#include <vector>

#include "platform/reg_text_format.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

RegCommandResult Failed(const std::string& what, long code) {
    return {1, {}, what + ": " + RegCommandErrorText(code) + " (error " + std::to_string(code) + ")"};
}

RegCommandResult BadRoot(const std::string& full) {
    return {2,
            {},
            full + ": the key must start with HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT or HKEY_USERS"};
}

// The failure of opening the key of a full path.
RegCommandResult KeyFailed(const std::string& full, long code) {
    return code == ERROR_INVALID_PARAMETER ? BadRoot(full) : Failed("key " + full, code);
}

RegCommandResult ValueNotFound(const std::string& key, const std::string& name) {
    return {1, {}, "value \"" + name + "\" not found in " + key};
}

// One key of an import file and the values written into it, in file order.
struct ImportKey {
    std::string path;
    std::vector<RegTextLine> values;
};

}  // namespace

std::string RegCommandErrorText(long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return "not found";
        case ERROR_ACCESS_DENIED:
            return "access denied";
        case ERROR_KEY_DELETED:
            return "key was deleted";
        case RPC_S_SERVER_UNAVAILABLE:
            return "machine not reachable";
        default:
            return WindowsErrorText(code);
    }
}

long RegCommands::SplitPath(const std::string& fullPath, RegKeyHandle& root, std::string* rest) const {
    HKEY predefined = nullptr;
    if (!RegSplitRootPath(fullPath, &predefined, rest)) return ERROR_INVALID_PARAMETER;
    if (m_machine.empty()) {
        root.Reset(predefined);  // a predefined root is never closed
        return ERROR_SUCCESS;
    }
    return RegConnectRegistry(m_machine, predefined, root.Out());
}

long RegCommands::OpenPath(const std::string& fullPath, bool create, RegKeyHandle& key) const {
    RegKeyHandle root;
    std::string rest;
    long err = SplitPath(fullPath, root, &rest);
    if (err != ERROR_SUCCESS) return err;
    return create ? RegCreateKey(root.Get(), rest, key.Out()) : RegOpenKey(root.Get(), rest, KEY_ALL_ACCESS, key.Out());
}

RegCommandResult RegCommands::Get(const std::string& key, const std::string& name) const {
    RegKeyHandle k;
    if (long err = OpenPath(key, false, k); err != ERROR_SUCCESS) return KeyFailed(key, err);
    std::uint32_t type = 0;
    std::string data;
    long err = RegQueryValue(k.Get(), name, &type, &data);
    if (err == ERROR_FILE_NOT_FOUND) return ValueNotFound(key, name);
    if (err != ERROR_SUCCESS) return Failed("value \"" + name + "\"", err);
    return {0, (type == REG_SZ ? data : RegValueDataText(type, data)) + "\n", {}};
}

RegCommandResult RegCommands::Set(const std::string& key, const std::string& name, const std::string& value) const {
    RegKeyHandle k;
    if (long err = OpenPath(key, true, k); err != ERROR_SUCCESS) return KeyFailed(key, err);
    long err = RegSetString(k.Get(), name, value);
    return err == ERROR_SUCCESS ? RegCommandResult{} : Failed("value \"" + name + "\"", err);
}

RegCommandResult RegCommands::Delete(const std::string& key, const std::string& name) const {
    RegKeyHandle k;
    if (long err = OpenPath(key, false, k); err != ERROR_SUCCESS) return KeyFailed(key, err);
    long err = RegDeleteValue(k.Get(), name);
    if (err == ERROR_FILE_NOT_FOUND) return ValueNotFound(key, name);
    return err == ERROR_SUCCESS ? RegCommandResult{} : Failed("value \"" + name + "\"", err);
}

RegCommandResult RegCommands::DeleteKey(const std::string& full) const {
    RegKeyHandle root;
    std::string rest;
    long err = SplitPath(full, root, &rest);
    if (err != ERROR_SUCCESS) return KeyFailed(full, err);
    if (rest.find_first_not_of('\\') == std::string::npos) return {1, {}, full + ": a root key cannot be deleted"};
    err = RegDeleteTree(root.Get(), rest);
    return err == ERROR_SUCCESS ? RegCommandResult{} : Failed("key " + full, err);
}

RegCommandResult RegCommands::List(const std::string& full) const {
    RegKeyHandle k;
    if (long err = OpenPath(full, false, k); err != ERROR_SUCCESS) return KeyFailed(full, err);
    RegCommandResult result;
    std::string name, data;
    std::uint32_t type = 0;
    long err;
    for (std::uint32_t i = 0; (err = RegEnumKey(k.Get(), i, &name)) == ERROR_SUCCESS; ++i)
        result.output += name + "\\\n";
    if (err == ERROR_NO_MORE_ITEMS) {
        for (std::uint32_t i = 0; (err = RegEnumValue(k.Get(), i, &name, &type, &data)) == ERROR_SUCCESS; ++i)
            result.output += RegValueNameText(name) + "=" + RegValueDataText(type, data) + "\n";
    }
    if (err != ERROR_NO_MORE_ITEMS) {
        RegCommandResult failed = Failed("key " + full, err);
        failed.output = std::move(result.output);
        return failed;
    }
    return result;
}

RegCommandResult RegCommands::Export(const std::string& full) const {
    RegKeyHandle k;
    if (long err = OpenPath(full, false, k); err != ERROR_SUCCESS) return KeyFailed(full, err);
    std::ostringstream out;
    if (long err = ExportRegText(k.Get(), out); err != ERROR_SUCCESS) return Failed("key " + full, err);
    return {0, out.str(), {}};
}

RegCommandResult RegCommands::Import(std::istream& in, const std::string& source) const {
    // The whole file is understood before anything is written.
    std::vector<ImportKey> keys;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        RegTextLine parsed = ParseRegTextLine(line);
        const std::string where = source + ":" + std::to_string(number) + ": ";
        switch (parsed.kind) {
            case RegTextLine::Kind::Blank:
                continue;
            case RegTextLine::Kind::Key:
                if (!RegSplitRootPath(parsed.key, nullptr, nullptr)) return BadRoot(parsed.key);
                keys.push_back({parsed.key, {}});
                continue;
            case RegTextLine::Kind::Value:
                if (keys.empty()) return {1, {}, where + "value before any [KEY] line"};
                keys.back().values.push_back(std::move(parsed));
                continue;
            case RegTextLine::Kind::BadKey:
            case RegTextLine::Kind::BadValueName:
            case RegTextLine::Kind::BadValue:
                return {1, {}, where + RegTextLineError(parsed.kind)};
        }
    }
    if (keys.empty()) return {};

    // Every root of a machine lives in that machine's one store: one transaction holds it all.
    RegKeyHandle transactionRoot;
    std::string rest;
    if (long err = SplitPath(keys.front().path, transactionRoot, &rest); err != ERROR_SUCCESS)
        return KeyFailed(keys.front().path, err);
    RegCommandResult failure;
    long err = RegRunTransaction(transactionRoot.Get(), [&]() -> long {
        for (const ImportKey& key : keys) {
            RegKeyHandle k;
            if (long e = OpenPath(key.path, true, k); e != ERROR_SUCCESS) {
                failure = KeyFailed(key.path, e);
                return e;
            }
            for (const RegTextLine& value : key.values) {
                if (long e = RegSetValue(k.Get(), value.name, value.type, value.data); e != ERROR_SUCCESS) {
                    failure = Failed("value \"" + value.name + "\"", e);
                    return e;
                }
            }
        }
        return ERROR_SUCCESS;
    });
    if (err == ERROR_SUCCESS) return {};
    // A failure of the transaction itself (the store busy, the commit refused) has no line.
    if (failure.status == 0) failure = Failed(source, err);
    return failure;
}

RegCommandResult RegCommands::CreateMachine(const std::string& name) {
    long err = RegCreateMachineStore(name);
    return err == ERROR_SUCCESS ? RegCommandResult{} : Failed("machine " + name, err);
}

}  // namespace tessaro::platform
