#include "engine/server/runtime_file_gate.h"

#include <filesystem>
#include <system_error>

#include "platform/home.h"
#include "platform/path_util.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrivateFolders[] = {"run", "scm", "windows", "log", "machines"};
constexpr const char* kStoreName = "registry.db";
constexpr const char* kStoreCompanions[] = {"", "-wal", "-shm", "-journal"};

fs::path RealPath(const std::string& path) {
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::path(tessaro::platform::ToUnixPath(path)), ec);
    return ec ? fs::path(path).lexically_normal() : real;
}

bool IsWithin(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty()) continue;  // a trailing separator
        if (p == path.end() || !tessaro::platform::EqualsNoCase(p->string(), f->string())) return false;
    }
    return true;
}

}  // namespace

bool IsRuntimePrivateFile(const std::string& path) {
    fs::path home = RealPath(tessaro::platform::TessaroHome());
    fs::path target = RealPath(path);
    for (const char* folder : kPrivateFolders)
        if (IsWithin(target, home / folder)) return true;
    // The store and every companion SQLite may give it, in any case.
    std::string name = target.filename().string();
    std::size_t storeLength = std::string(kStoreName).size();
    if (tessaro::platform::EqualsNoCase(target.parent_path().string(), home.string()) && name.size() >= storeLength &&
        tessaro::platform::EqualsNoCase(name.substr(0, storeLength), kStoreName))
        return true;
    // Another name (a hard link) of a store file is the same file.
    std::error_code ec;
    if (!fs::exists(target, ec)) return false;
    for (const char* companion : kStoreCompanions) {
        fs::path store = home / (std::string(kStoreName) + companion);
        if (fs::exists(store, ec) && fs::equivalent(store, target, ec)) return true;
    }
    return false;
}
