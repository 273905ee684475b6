#include "platform/runtime_private_files.h"
#include "platform/system_calls.h"

#include <cerrno>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/descriptor.h"
#include "platform/home.h"
#include "platform/name_change_watch.h"
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

// What a private file's name stands for: its real path (a file about to be made in its place
// has that path) and, when it exists, its identity (the same file through any link or name).
struct KnownFile {
    fs::path realPath;
    bool exists = false;
    FileIdentity identity;
};

// Everything the questions compare against, as examined at one moment.
struct PrivateFacts {
    std::string homeName;  // the root as the environment names it
    fs::path home;         // its real path
    bool hasRoot = false;
    FileIdentity root;
    std::vector<FileIdentity> privateFolders;  // the root's private folders and the added ones
    bool hasTemplatesOwn = false;
    FileIdentity templatesOwn;
    std::vector<fs::path> addedFolders;  // real paths
    std::vector<KnownFile> namedFiles;   // the added files and the ODBC files
    std::vector<KnownFile> storeFiles;   // the store and its companions
};

KnownFile Known(const std::string& name) {
    KnownFile file;
    file.realPath = RealPath(name);
    file.exists = PathIdentity(name, &file.identity);
    return file;
}

// What the facts depend on besides the files: the root, the owner's additions and the ODBC
// files, as the process names them now.
struct FactsKey {
    std::string home;
    std::vector<std::string> added;
    std::vector<std::string> odbcFiles;
    bool operator==(const FactsKey&) const = default;
};

// The names whose resolution the facts come from.
struct PrivateNames {
    std::string home;
    std::vector<std::string> folders;  // the root's private folders and the added ones
    std::string templatesOwn;
    std::vector<std::string> addedFolders, namedFiles, storeFiles;

    explicit PrivateNames(const FactsKey& key) : home(key.home), templatesOwn(key.home + "/" + kTemplateTempFolder) {
        for (const char* folder : kPrivateFolders) folders.push_back(home + "/" + folder + "/");
        std::vector<std::string> addedFiles;
        ExtraPrivatePaths(key.added, &addedFolders, &addedFiles);
        folders.insert(folders.end(), addedFolders.begin(), addedFolders.end());
        namedFiles = addedFiles;
        for (const std::string& file : key.odbcFiles)
            if (!file.empty()) namedFiles.push_back(file);
        for (const char* companion : kStoreCompanions) storeFiles.push_back(home + "/" + kStoreName + companion);
    }
    std::vector<std::string> All() const {
        std::vector<std::string> all{home, templatesOwn};
        for (const auto* list : {&folders, &addedFolders, &namedFiles, &storeFiles})
            all.insert(all.end(), list->begin(), list->end());
        return all;
    }
};

std::shared_ptr<const PrivateFacts> Examine(const PrivateNames& names) {
    auto facts = std::make_shared<PrivateFacts>();
    facts->homeName = names.home;
    facts->home = RealPath(names.home);
    facts->hasRoot = PathIdentity(names.home, &facts->root);
    for (const std::string& folder : names.folders) {
        FileIdentity identity;
        if (PathIdentity(folder, &identity)) facts->privateFolders.push_back(identity);
    }
    facts->hasTemplatesOwn = PathIdentity(names.templatesOwn, &facts->templatesOwn);
    for (const std::string& folder : names.addedFolders) facts->addedFolders.push_back(RealPath(folder));
    for (const std::string& file : names.namedFiles) facts->namedFiles.push_back(Known(file));
    for (const std::string& file : names.storeFiles) facts->storeFiles.push_back(Known(file));
    return facts;
}

// The facts, kept while no folder on the way to a private name changes (and examined
// again for every question where a change could go unreported). A handful of keys are
// asked about in a process: the root's own and each gate's.
class KeptFacts {
public:
    static KeptFacts& Instance() {
        static KeptFacts* kept = [] {
            auto* made = new KeptFacts;  // never destroyed: questions may come during exit
            // A forked child must not read the reports queued for its parent; the lock is
            // held across the fork so that the child never inherits it taken.
            SystemCalls().pthread_atfork([] { Instance().m_mutex.lock(); }, [] { Instance().m_mutex.unlock(); },
                                         [] {
                                             KeptFacts& child = Instance();
                                             child.m_watch.ForgetAfterFork();
                                             child.m_kept.clear();
                                             child.m_mutex.unlock();
                                         });
            return made;
        }();
        return *kept;
    }

    std::shared_ptr<const PrivateFacts> For(FactsKey key) {
        std::lock_guard lock(m_mutex);
        if (!m_watch.Unchanged()) m_kept.clear();
        for (const auto& [keptKey, facts] : m_kept)
            if (keptKey == key) return facts;
        const PrivateNames names(key);
        // Watched before they are examined: a change during the examination is reported.
        const bool watched = m_watch.Watch(names.All());
        std::shared_ptr<const PrivateFacts> facts = Examine(names);
        if (watched) {
            if (m_kept.size() >= kMaxKeys) m_kept.erase(m_kept.begin());
            m_kept.emplace_back(std::move(key), facts);
        }
        return facts;
    }

private:
    static constexpr std::size_t kMaxKeys = 8;
    std::mutex m_mutex;
    NameChangeWatch m_watch;
    std::vector<std::pair<FactsKey, std::shared_ptr<const PrivateFacts>>> m_kept;
};

std::shared_ptr<const PrivateFacts> KnownFacts(const std::vector<std::string>& added) {
    return KeptFacts::Instance().For({TessaroHome(), added, OdbcConfigurationFiles()});
}

// What the target's real path names now.
struct Target {
    bool exists = false;
    bool isDirectory = false;
    FileIdentity identity;
};

Target TargetOf(const struct stat& st) {
    return {true, S_ISDIR(st.st_mode), {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}};
}

Target Examined(const fs::path& target) {
    struct stat st;
    return SystemCalls().stat(target.c_str(), &st) == 0 ? TargetOf(st) : Target{};
}

// The real path of what path names and what that is now: from one opening of it when it
// names something (the system's own name for what was opened), else resolved as far as
// the path goes. *missing (when asked) is set instead when the opening found no such entry,
// and then nothing is resolved.
std::pair<fs::path, Target> Resolved(const std::string& path, bool* missing = nullptr) {
    const std::string given = ToUnixPath(path);
    const int fd = SystemCalls().open(given.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0 && missing != nullptr && (errno == ENOENT || errno == ENOTDIR)) {
        *missing = true;
        return {};
    }
    if (fd >= 0) {
        struct stat st;
        Target t;
        std::string real;
        if (SystemCalls().fstat(fd, &st) == 0) {
            t = TargetOf(st);
            real = DescriptorRealPath(fd);
        }
        SystemCalls().close(fd);
        if (!real.empty() && real.front() == '/') return {fs::path(real), t};
    }
    fs::path real = RealPath(path);
    const Target t = Examined(real);
    return {std::move(real), t};
}

// The same file by identity (through any link or another name) when the target exists,
// else by real path (a file about to be created in its place).
bool IsSameFile(const fs::path& target, const Target& now, const KnownFile& file) {
    return now.exists ? file.exists && file.identity == now.identity : target == file.realPath;
}

// What target names, as seen now (by path) or as opened.
bool IsPrivateRealPath(const fs::path& target, const Target& now, const PrivateFacts& facts) {
    const fs::path& home = facts.home;
    for (const char* folder : kKernelFolders)
        if (IsWithin(target, folder)) return true;
    // The root, and every file in it: a template has no business there (a folder of the
    // root is judged as what it is).
    if (IsWithin(home, target)) return IsWithin(target, home);
    const bool inRoot = EqualsNoCase(target.parent_path().string(), home.string());
    for (const char* folder : kPrivateFolders) {
        if (!IsWithin(target, home / folder)) continue;
        return !IsWithin(target, home / kTemplateTempFolder);
    }
    if (inRoot && !now.isDirectory) return true;
    for (const fs::path& folder : facts.addedFolders)
        if (IsWithin(target, folder)) return true;
    for (const KnownFile& file : facts.namedFiles)
        if (IsSameFile(target, now, file)) return true;
    // Another name (a hard link) of a store file is the same file.
    if (!now.exists) return false;
    for (const KnownFile& store : facts.storeFiles)
        if (store.exists && store.identity == now.identity) return true;
    return false;
}

}  // namespace

bool IsPrivatePath(const std::string& path, const std::vector<std::string>& added) {
    if (HasNul(path)) return true;
    const auto [real, now] = Resolved(path);
    return IsPrivateRealPath(real, now, *KnownFacts(added));
}

bool IsNonPrivateFile(const std::string& path, const std::vector<std::string>& added) {
    if (path.empty() || HasNul(path)) return false;
    bool missing = false;
    const auto [real, now] = Resolved(path, &missing);
    if (missing || !now.exists || now.isDirectory) return false;
    return !IsPrivateRealPath(real, now, *KnownFacts(added));
}

bool IsPrivateObject(const OpenedObject& object, const std::vector<std::string>& added) {
    if (object.realPath.empty() || object.onKernelFileSystem || HasNul(object.realPath)) return true;
    const std::shared_ptr<const PrivateFacts> known = KnownFacts(added);
    const PrivateFacts& facts = *known;
    // The system's own name for what was opened has no link or dot in it to resolve, and
    // what it names is what was opened (an entry about to be made has no identity yet).
    const bool exists = !(object.identity == FileIdentity{});
    const Target opened{exists, exists && object.isDirectory, object.identity};
    if (IsPrivateRealPath(fs::path(object.realPath).lexically_normal(), opened, facts)) return true;
    // The folders it lies in, itself too when it is one.
    std::vector<FileIdentity> chain;
    if (object.isDirectory) chain.push_back(object.identity);
    chain.insert(chain.end(), object.folders.begin(), object.folders.end());
    if (chain.empty() || (facts.hasRoot && chain.front() == facts.root)) return true;
    for (const FileIdentity& folder : chain) {
        if (facts.hasTemplatesOwn && folder == facts.templatesOwn) break;
        if (Contains(facts.privateFolders, folder)) return true;
    }
    if (object.isDirectory) return false;
    for (const std::vector<KnownFile>* files : {&facts.namedFiles, &facts.storeFiles})
        for (const KnownFile& file : *files)
            if (file.exists && file.identity == object.identity) return true;
    if (!object.isRegular || object.links <= 1) return false;
    // A file of several names: none of them may lie in a private place. Each private
    // folder is searched, and the files directly in the root.
    std::vector<std::string> folders, files;
    for (const char* folder : kPrivateFolders) folders.push_back(facts.homeName + "/" + folder + "/");
    ExtraPrivatePaths(added, &folders, &files);
    bool found = false;
    std::size_t budget = kMaxEntriesSearched;
    auto same = [&](const FileIdentity& entry) {
        if (budget-- == 0) return false;
        found = entry == object.identity;
        return !found;
    };
    for (const std::string& folder : folders)
        if (!VisitFolderEntries(folder, budget, same)) return true;
    return !VisitFolderEntries(facts.homeName, budget, same, false) || found;
}

const OpenedObjectCheck& NotPrivateCheck() {
    static const OpenedObjectCheck check = [](const OpenedObject& object) { return !IsPrivateObject(object); };
    return check;
}

}  // namespace tessaro::platform
