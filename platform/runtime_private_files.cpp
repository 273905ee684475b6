#include "platform/runtime_private_files.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/home.h"
#include "platform/odbc_files.h"
#include "platform/path_util.h"

namespace fs = std::filesystem;

namespace tessaro::platform {

namespace {

constexpr const char* kPrivateFolders[] = {"run", "scm", "windows", "log", "machines", "Mail", "tsr", "tmp"};
// Inside tmp/ only this folder is the templates' own.
constexpr const char* kTemplateTempFolder = "tmp/templates";
constexpr const char* kStoreName = "registry.db";
constexpr const char* kStoreCompanions[] = {"", "-wal", "-shm", "-journal"};
// The kernel's own files: processes, settings and devices (with the shared memory and
// terminals mounted below /dev).
constexpr const char* kKernelFolders[] = {"/proc", "/sys", "/dev"};
// Entries looked at to find another name of a file; a larger private tree refuses the file.
constexpr std::size_t kMaxEntriesSearched = 200000;

fs::path RealPath(const std::string& path) {
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::path(ToUnixPath(path)), ec);
    return ec ? fs::path(path).lexically_normal() : real;
}

bool IsWithin(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty()) continue;  // a trailing separator
        if (p == path.end() || !EqualsNoCase(p->string(), f->string())) return false;
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

// The ODBC files the process's driver manager reads: the data sources and the drivers.
std::vector<std::string> OdbcConfigurationFiles() {
    std::vector<std::string> files = OdbcDataSourceFiles();
    files.push_back(OdbcDriversFile());
    return files;
}

// Private folders and files beyond the root's own: those the owner added.
void ExtraPrivatePaths(const std::vector<std::string>& added, std::vector<std::string>* folders,
                       std::vector<std::string>* files) {
    for (const std::string& path : added)
        if (!path.empty()) (path.back() == '/' ? folders : files)->push_back(path);
}

bool HasNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

bool Contains(const std::vector<FileIdentity>& identities, const FileIdentity& identity) {
    for (const FileIdentity& i : identities)
        if (i == identity) return true;
    return false;
}

}  // namespace

bool IsPrivatePath(const std::string& path, const std::vector<std::string>& added) {
    if (HasNul(path)) return true;
    fs::path home = RealPath(TessaroHome());
    fs::path target = RealPath(path);
    for (const char* folder : kKernelFolders)
        if (IsWithin(target, folder)) return true;
    std::error_code ec;
    // The root, and every file in it: a template has no business there (a folder of the
    // root is judged as what it is).
    if (IsWithin(home, target)) return IsWithin(target, home);
    if (EqualsNoCase(target.parent_path().string(), home.string()) && !fs::is_directory(target, ec)) return true;
    for (const char* folder : kPrivateFolders) {
        if (!IsWithin(target, home / folder)) continue;
        return !IsWithin(target, home / kTemplateTempFolder);
    }
    const bool exists = fs::exists(target, ec);
    std::vector<std::string> folders, files;
    ExtraPrivatePaths(added, &folders, &files);
    for (const std::string& folder : folders)
        if (IsWithin(target, RealPath(folder))) return true;
    for (const std::string& file : files)
        if (IsSameFile(target, exists, file)) return true;
    for (const std::string& file : OdbcConfigurationFiles())
        if (IsSameFile(target, exists, file)) return true;
    // Another name (a hard link) of a store file is the same file.
    if (!exists) return false;
    for (const char* companion : kStoreCompanions) {
        fs::path store = home / (std::string(kStoreName) + companion);
        if (fs::exists(store, ec) && fs::equivalent(store, target, ec)) return true;
    }
    return false;
}

bool IsPrivateObject(const OpenedObject& object, const std::vector<std::string>& added) {
    if (object.realPath.empty() || object.onKernelFileSystem || IsPrivatePath(object.realPath, added)) return true;
    const std::string home = TessaroHome();
    FileIdentity root;
    const bool hasRoot = PathIdentity(home, &root);
    // The folders it lies in, itself too when it is one.
    std::vector<FileIdentity> chain;
    if (object.isDirectory) chain.push_back(object.identity);
    chain.insert(chain.end(), object.folders.begin(), object.folders.end());
    if (chain.empty() || (hasRoot && chain.front() == root)) return true;

    std::vector<std::string> folders, files;
    for (const char* folder : kPrivateFolders) folders.push_back(home + "/" + folder + "/");
    ExtraPrivatePaths(added, &folders, &files);
    std::vector<FileIdentity> privateFolders;
    for (const std::string& folder : folders) {
        FileIdentity identity;
        if (PathIdentity(folder, &identity)) privateFolders.push_back(identity);
    }
    FileIdentity templatesOwn;
    const bool hasTemplatesOwn = PathIdentity(home + "/" + kTemplateTempFolder, &templatesOwn);
    for (const FileIdentity& folder : chain) {
        if (hasTemplatesOwn && folder == templatesOwn) break;
        if (Contains(privateFolders, folder)) return true;
    }
    if (object.isDirectory) return false;

    for (const std::string& file : OdbcConfigurationFiles()) files.push_back(file);
    for (const char* companion : kStoreCompanions) files.push_back(home + "/" + kStoreName + companion);
    for (const std::string& file : files) {
        FileIdentity identity;
        if (PathIdentity(file, &identity) && identity == object.identity) return true;
    }
    if (!object.isRegular || object.links <= 1) return false;
    // A file of several names: none of them may lie in a private place. Each private
    // folder is searched, and the files directly in the root.
    bool found = false;
    std::size_t budget = kMaxEntriesSearched;
    auto same = [&](const FileIdentity& entry) {
        if (budget-- == 0) return false;
        found = entry == object.identity;
        return !found;
    };
    for (const std::string& folder : folders)
        if (!VisitFolderEntries(folder, budget, same)) return true;
    return !VisitFolderEntries(home, budget, same, false) || found;
}

const OpenedObjectCheck& NotPrivateCheck() {
    static const OpenedObjectCheck check = [](const OpenedObject& object) { return !IsPrivateObject(object); };
    return check;
}

}  // namespace tessaro::platform
