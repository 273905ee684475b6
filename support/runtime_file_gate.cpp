#include "support/runtime_file_gate.h"

#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/home.h"
#include "platform/odbc_files.h"
#include "platform/path_util.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrivateFolders[] = {"run", "scm", "windows", "log", "machines", "Mail", "tsr", "tmp"};
// Inside tmp/ only this folder is the templates' own.
constexpr const char* kTemplateTempFolder = "tmp/templates";
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

// The same file by identity (through any link or another name) when the target exists,
// else by real path (a file about to be created in its place).
bool IsSameFile(const fs::path& target, bool targetExists, const fs::path& file) {
    if (file.empty()) return false;
    std::error_code ec;
    if (targetExists) return fs::equivalent(file, target, ec) && !ec;
    return target == RealPath(file.string());
}

// The ODBC files the engine's driver manager reads: the data sources and the drivers.
std::vector<fs::path> OdbcConfigurationFiles() {
    std::vector<fs::path> files;
    for (const std::string& file : tessaro::platform::OdbcDataSourceFiles()) files.emplace_back(file);
    files.emplace_back(tessaro::platform::OdbcDriversFile());
    return files;
}

}  // namespace

bool PathHasNul(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

bool CRuntimeFileGate::IsPrivate(const std::string& path) const {
    if (PathHasNul(path)) return true;
    fs::path home = RealPath(tessaro::platform::TessaroHome());
    fs::path target = RealPath(path);
    for (const char* folder : kPrivateFolders) {
        if (!IsWithin(target, home / folder)) continue;
        return !IsWithin(target, home / kTemplateTempFolder);
    }
    std::error_code ec;
    const bool exists = fs::exists(target, ec);
    {
        std::lock_guard lock(m_mutex);
        for (const std::string& added : m_added) {
            if (!added.empty() && added.back() == '/') {
                if (IsWithin(target, RealPath(added))) return true;
            } else if (IsSameFile(target, exists, added)) {
                return true;
            }
        }
    }
    for (const fs::path& file : OdbcConfigurationFiles())
        if (IsSameFile(target, exists, file)) return true;
    // The store and every companion SQLite may give it, in any case.
    std::string name = target.filename().string();
    std::size_t storeLength = std::string(kStoreName).size();
    if (tessaro::platform::EqualsNoCase(target.parent_path().string(), home.string()) && name.size() >= storeLength &&
        tessaro::platform::EqualsNoCase(name.substr(0, storeLength), kStoreName))
        return true;
    // Another name (a hard link) of a store file is the same file.
    if (!exists) return false;
    for (const char* companion : kStoreCompanions) {
        fs::path store = home / (std::string(kStoreName) + companion);
        if (fs::exists(store, ec) && fs::equivalent(store, target, ec)) return true;
    }
    return false;
}

void CRuntimeFileGate::AddPrivatePath(const std::string& path) {
    std::string unix = tessaro::platform::ToUnixPath(path);
    if (unix.empty() || PathHasNul(unix)) return;
    std::lock_guard lock(m_mutex);
    for (const std::string& added : m_added)
        if (added == unix) return;
    m_added.push_back(unix);
}

const CRuntimeFileGate& RootOnlyFileGate() {
    static const CRuntimeFileGate kRootOnly;
    return kRootOnly;
}

std::string TemplateTempDirectory() {
    std::string directory = tessaro::platform::HomePath(kTemplateTempFolder);
    tessaro::platform::EnsureDirectory(directory);
    return directory + "/";
}
