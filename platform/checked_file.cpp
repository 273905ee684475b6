#include "platform/checked_file.h"
#include "platform/descriptor.h"
#include "platform/system_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/path_util.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

// Deeper than any real tree; a walk past it is refused rather than followed.
constexpr int kMaxFolderDepth = 256;
// Times a replacement looks again at a name that keeps changing under it.
constexpr int kReplaceAttempts = 10;
constexpr unsigned long kMqueueMagic = 0x19800202;

// File systems whose files are the kernel's interfaces (process memory, environment,
// settings), never a template's data.
bool IsKernelFileSystem(long type) {
    switch (static_cast<unsigned long>(type)) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case BPF_FS_MAGIC:
        case PSTOREFS_MAGIC:
        case EFIVARFS_MAGIC:
        case DEVPTS_SUPER_MAGIC:
        case BINFMTFS_MAGIC:
        case NSFS_MAGIC:
        case kMqueueMagic:
        case 0x62656570:  // configfs
            return true;
        default:
            return false;
    }
}

FileIdentity IdentityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

FileStamp StampOf(const struct stat& st) {
    return {IdentityOf(st), static_cast<std::uint64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec),
            static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
}

// The identities of the folders above the object fd names (whose own identity is self), nearest
// first, each asked by its way up from fd: "..", "../..", and so on, one call each. False when
// the way could not be followed to the root (the root is its own parent).
bool FoldersAbove(int fd, FileIdentity self, std::vector<FileIdentity>* chain) {
    std::string up;
    FileIdentity below = self;
    for (int depth = 0; depth < kMaxFolderDepth; ++depth) {
        up += depth == 0 ? ".." : "/..";
        struct stat st;
        if (SystemCalls().fstatat(fd, up.c_str(), &st, 0) != 0) return false;
        const FileIdentity identity = IdentityOf(st);
        if (identity == below) return true;
        chain->push_back(identity);
        below = identity;
    }
    return false;
}

// The identities of folder and of every folder above it: false when the way up could not
// reach the root.
bool FolderChain(int folder, std::vector<FileIdentity>* chain) {
    struct stat st;
    if (SystemCalls().fstat(folder, &st) != 0) return false;
    chain->push_back(IdentityOf(st));
    return FoldersAbove(folder, chain->back(), chain);
}

// What a folder opened for one file knows of the folders that file will lie in: itself and
// every folder above it, as its own judgement found them.
struct HolderChain {
    std::vector<FileIdentity> folders;
    bool known = false;
    bool onKernelFileSystem = false;  // the folder's own file system is the kernel's
};

// Describes fd; holder is the folder it was found in (-1: fd is a folder, judged by
// the folders above it). known is fd's status when the caller has it, and chain the
// holder's folders when its own judgement found them a moment ago. False when it cannot be
// told.
bool Describe(int fd, int holder, OpenedObject* object, const struct stat* known = nullptr,
              const HolderChain* chain = nullptr) {
    struct stat st;
    if (known)
        st = *known;
    else if (SystemCalls().fstat(fd, &st) != 0)
        return false;
    object->identity = IdentityOf(st);
    object->isDirectory = S_ISDIR(st.st_mode);
    object->isRegular = S_ISREG(st.st_mode);
    object->links = static_cast<std::uint64_t>(st.st_nlink);
    // A file on the device of the folder judged a moment ago lies on that folder's file
    // system (one device, one file system); anything else is asked.
    const bool besideHolder = holder >= 0 && chain && chain->known && !chain->folders.empty() &&
                              chain->folders.front().device == object->identity.device;
    struct statfs fs;
    object->onKernelFileSystem = besideHolder ? chain->onKernelFileSystem
                                              : SystemCalls().fstatfs(fd, &fs) != 0 ||
                                                    IsKernelFileSystem(static_cast<long>(fs.f_type));
    object->realPath = DescriptorRealPath(fd);
    object->folders.clear();
    if (holder >= 0 && chain && chain->known) {
        object->folders = chain->folders;
        return true;
    }
    if (holder >= 0) return FolderChain(holder, &object->folders);
    // A folder lies in the folders above it; the root in none.
    return FoldersAbove(fd, object->identity, &object->folders);
}

bool Judge(int fd, int holder, const OpenedObjectCheck& check, const struct stat* known = nullptr,
           const HolderChain* chain = nullptr) {
    if (!check) return true;
    OpenedObject object;
    return Describe(fd, holder, &object, known, chain) && check(object);
}

// A folder judged as what it is; chain, when given, keeps the folders a file in it lies in.
bool JudgeFolder(int fd, const OpenedObjectCheck& check, HolderChain* chain) {
    if (!check) return true;
    OpenedObject object;
    if (!Describe(fd, -1, &object) || !check(object)) return false;
    if (chain) {
        chain->folders.reserve(object.folders.size() + 1);
        chain->folders.push_back(object.identity);
        chain->folders.insert(chain->folders.end(), object.folders.begin(), object.folders.end());
        chain->known = true;
        chain->onKernelFileSystem = object.onKernelFileSystem;
    }
    return true;
}

long OpenErrorNumber(int error) {
    // A link in the last component, a folder or a FIFO without a writer.
    if (error == ELOOP || error == EISDIR || error == ENXIO || error == EMLINK) return ERROR_ACCESS_DENIED;
    return Win32ErrorFromErrno(error);
}

bool SameEntry(int folder, const std::string& name, const FileIdentity& identity) {
    struct stat st;
    return SystemCalls().fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && IdentityOf(st) == identity;
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// What stands under name of folder, judged as something a regular file may replace: 0 when
// it may (its identity to *identity), 2 when nothing stands there.
long JudgeReplaceable(int folder, const std::string& name, const OpenedObjectCheck& check,
                      FileIdentity* identity = nullptr) {
    int fd = SystemCalls().openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32LastErrno();
    struct stat st;
    long verdict = ERROR_SUCCESS;
    if (SystemCalls().fstat(fd, &st) != 0)
        verdict = Win32LastErrno();
    else if (!S_ISREG(st.st_mode))
        verdict = ERROR_BAD_FILE_TYPE;
    else if (!Judge(fd, folder, check))
        verdict = ERROR_ACCESS_DENIED;
    else if (identity)
        *identity = IdentityOf(st);
    SystemCalls().close(fd);
    return verdict;
}

bool CannotRenameSo(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP;
}

}  // namespace

bool PathIdentity(const std::string& path, FileIdentity* identity) {
    struct stat st;
    if (SystemCalls().stat(ToUnixPath(path).c_str(), &st) != 0) return false;
    *identity = IdentityOf(st);
    return true;
}

bool VisitFolderEntries(const std::string& folder, std::size_t limit,
                        const std::function<bool(const FileIdentity&)>& visit, bool recursive) {
    std::size_t seen = 0;
    std::function<bool(int, int)> walk = [&](int fd, int depth) {
        DIR* dir = SystemCalls().fdopendir(fd);
        if (dir == nullptr) {
            SystemCalls().close(fd);
            return true;  // nothing to see there
        }
        bool whole = true;
        while (whole) {
            errno = 0;
            struct dirent* entry = SystemCalls().readdir(dir);
            if (entry == nullptr) break;
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            struct stat st;
            if (SystemCalls().fstatat(SystemCalls().dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (++seen > limit || !visit(IdentityOf(st))) {
                whole = false;
                break;
            }
            if (!recursive || !S_ISDIR(st.st_mode)) continue;
            if (depth >= kMaxFolderDepth) {
                whole = false;
                break;
            }
            int sub = SystemCalls().openat(SystemCalls().dirfd(dir), entry->d_name,
                                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) whole = walk(sub, depth + 1);
        }
        SystemCalls().closedir(dir);
        return whole;
    };
    int fd = SystemCalls().open(ToUnixPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;
    return walk(fd, 0);
}

CheckedFolder::~CheckedFolder() {
    if (m_fd >= 0) SystemCalls().close(m_fd);
}

CheckedFolder::CheckedFolder(CheckedFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}

CheckedFolder& CheckedFolder::operator=(CheckedFolder&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) SystemCalls().close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

// The opening steps, with access to what the handles hold.
struct CheckedOpening {
    static long Folder(const std::string& pathIn, const OpenedObjectCheck& check, CheckedFolder* folder,
                       HolderChain* chain);
    static long In(const CheckedFolder& folder, const std::string& name, FileAccess access,
                   const OpenedObjectCheck& check, CheckedFile* file, unsigned mode, const HolderChain* chain,
                   CheckedFolder* owned);
};

long CheckedOpening::Folder(const std::string& pathIn, const OpenedObjectCheck& check, CheckedFolder* folder,
                            HolderChain* chain) {
    const std::string path = pathIn.empty() ? std::string(".") : ToUnixPath(pathIn);
    int fd = SystemCalls().open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == ENOTDIR ? ERROR_ACCESS_DENIED : Win32LastErrno();
    if (!JudgeFolder(fd, check, chain)) {
        SystemCalls().close(fd);
        return ERROR_ACCESS_DENIED;
    }
    CheckedFolder opened;
    opened.m_fd = fd;
    opened.m_path = path;
    *folder = std::move(opened);
    return ERROR_SUCCESS;
}

long OpenCheckedFolder(const std::string& path, const OpenedObjectCheck& check, CheckedFolder* folder) {
    return CheckedOpening::Folder(path, check, folder, nullptr);
}

CheckedFile::~CheckedFile() {
    Release();
}

CheckedFile::CheckedFile(CheckedFile&& other) noexcept
    : m_folder(std::move(other.m_folder)),
      m_fd(std::exchange(other.m_fd, -1)),
      m_name(std::move(other.m_name)),
      m_identity(other.m_identity),
      m_regular(other.m_regular),
      m_openedStamp(other.m_openedStamp) {}

CheckedFile& CheckedFile::operator=(CheckedFile&& other) noexcept {
    if (this != &other) {
        Release();
        m_folder = std::move(other.m_folder);
        m_fd = std::exchange(other.m_fd, -1);
        m_name = std::move(other.m_name);
        m_identity = other.m_identity;
        m_regular = other.m_regular;
        m_openedStamp = other.m_openedStamp;
    }
    return *this;
}

void CheckedFile::Release() {
    if (m_fd >= 0) SystemCalls().close(m_fd);
    m_fd = -1;
}

long CheckedFile::Close() {
    if (m_fd < 0) return ERROR_SUCCESS;
    const int fd = std::exchange(m_fd, -1);
    return SystemCalls().close(fd) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

std::uint64_t CheckedFile::Size() const {
    struct stat st;
    return m_fd >= 0 && SystemCalls().fstat(m_fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool CheckedFile::Stamp(FileStamp* stamp) const {
    struct stat st;
    if (m_fd < 0 || SystemCalls().fstat(m_fd, &st) != 0) return false;
    *stamp = StampOf(st);
    return true;
}

long CheckedFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    return static_cast<long>(RetryOnInterrupt([&] { return SystemCalls().pread(m_fd, buffer, n, static_cast<off_t>(offset)); }));
}

long CheckedFile::ReadAll(std::size_t limit, std::string* bytes) const {
    bytes->clear();
    char buffer[65536];
    for (std::uint64_t offset = 0;;) {
        long n = ReadAt(offset, buffer, sizeof buffer);
        if (n < 0) {
            long error = Win32LastErrno();
            bytes->clear();
            return error;
        }
        if (n == 0) return ERROR_SUCCESS;
        if (bytes->size() + static_cast<std::size_t>(n) > limit) {
            bytes->clear();
            bytes->shrink_to_fit();
            return ERROR_FILE_TOO_LARGE;
        }
        bytes->append(buffer, static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
}

long CheckedFile::ReadAsOpened(std::size_t limit, std::string* bytes) const {
    const std::uint64_t size = m_openedStamp.size;
    // A size of 0 may be a file whose size the system does not tell: read to its end.
    if (size == 0) return ReadAll(limit, bytes);
    bytes->clear();
    if (size > limit) return ERROR_FILE_TOO_LARGE;
    // What the opening saw: bytes written past that size meanwhile are not waited for, and a
    // file cut shorter meanwhile ends where it ends now.
    bytes->resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (got < bytes->size()) {
        long n = ReadAt(got, bytes->data() + got, bytes->size() - got);
        if (n < 0) {
            long error = Win32LastErrno();
            bytes->clear();
            return error;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes->resize(got);
    return ERROR_SUCCESS;
}

long CheckedFile::RemoveName() const {
    if (!m_folder.IsOpen()) return ERROR_INVALID_HANDLE;
    struct stat st;
    if (SystemCalls().fstatat(m_folder.Descriptor(), m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? ERROR_SUCCESS : Win32LastErrno();
    // Another file put under the name since is not this file's to remove.
    if (!(IdentityOf(st) == m_identity)) return ERROR_SUCCESS;
    return SystemCalls().unlinkat(m_folder.Descriptor(), m_name.c_str(), 0) == 0 || errno == ENOENT ? ERROR_SUCCESS
                                                                                        : Win32LastErrno();
}

long CheckEntryIn(const CheckedFolder& folder, const std::string& name, const OpenedObjectCheck& check) {
    if (!folder.IsOpen()) return ERROR_INVALID_HANDLE;
    if (!IsPlainName(name)) return ERROR_ACCESS_DENIED;
    if (long verdict = JudgeReplaceable(folder.Descriptor(), name, check); verdict != ERROR_FILE_NOT_FOUND)
        return verdict;
    if (!check) return ERROR_SUCCESS;
    OpenedObject would;
    const std::string holder = DescriptorRealPath(folder.Descriptor());
    if (holder.empty() || !FolderChain(folder.Descriptor(), &would.folders)) return ERROR_ACCESS_DENIED;
    would.realPath = holder + (holder.back() == '/' ? "" : "/") + name;
    return check(would) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

long ReplaceEntryIn(const CheckedFolder& folder, const std::string& from, const std::string& name,
                    const OpenedObjectCheck& check) {
    if (!folder.IsOpen()) return ERROR_INVALID_HANDLE;
    if (!IsPlainName(from) || !IsPlainName(name) || from == name) return ERROR_ACCESS_DENIED;
    const int at = folder.Descriptor();
    struct stat fromStat;
    if (SystemCalls().fstatat(at, from.c_str(), &fromStat, AT_SYMLINK_NOFOLLOW) != 0) return Win32LastErrno();
    const FileIdentity mine = IdentityOf(fromStat);
    // Whatever happens, the caller's entry does not stay behind (and nothing else goes).
    auto done = [&](long result) {
        if (SameEntry(at, from, mine)) SystemCalls().unlinkat(at, from.c_str(), 0);
        return result;
    };
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        long verdict = JudgeReplaceable(at, name, check);
        if (verdict == ERROR_FILE_NOT_FOUND) {
            // Nothing to replace: the name is taken only while it is free.
            if (SystemCalls().renameat2(at, from.c_str(), at, name.c_str(), RENAME_NOREPLACE) == 0) return ERROR_SUCCESS;
            if (errno == EEXIST) continue;
            if (!CannotRenameSo(errno)) return done(Win32LastErrno());
            if (SystemCalls().linkat(at, from.c_str(), at, name.c_str(), 0) == 0) return done(ERROR_SUCCESS);
            if (errno == EEXIST) continue;
            return done(Win32LastErrno());
        }
        if (verdict != ERROR_SUCCESS) return done(verdict);
        if (SystemCalls().renameat2(at, from.c_str(), at, name.c_str(), RENAME_EXCHANGE) != 0) {
            if (errno == ENOENT) continue;
            if (!CannotRenameSo(errno)) return done(Win32LastErrno());
            // No exchange on this file system: what was judged a moment ago is replaced.
            return done(SystemCalls().renameat(at, from.c_str(), at, name.c_str()) == 0 ? ERROR_SUCCESS : Win32LastErrno());
        }
        // from now names what stood under name: judged by descriptor, removed only when allowed.
        FileIdentity replaced;
        verdict = JudgeReplaceable(at, from, check, &replaced);
        if (verdict == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // taken away meanwhile
        if (verdict == ERROR_SUCCESS) {
            if (SameEntry(at, from, replaced)) SystemCalls().unlinkat(at, from.c_str(), 0);
            return ERROR_SUCCESS;
        }
        // Put there since it was judged: it changes back under its name, untouched.
        if (SystemCalls().renameat2(at, from.c_str(), at, name.c_str(), RENAME_EXCHANGE) != 0 &&
            SystemCalls().renameat(at, from.c_str(), at, name.c_str()) != 0)
            return Win32LastErrno();
        return done(verdict);
    }
    // The name kept changing under every look.
    return done(ERROR_ACCESS_DENIED);
}

// Opens name in folder. chain: the folder's own judgement of the folders above it, when it
// was opened for this one file a moment ago; owned: that folder, handed to the file
// instead of copied.
long CheckedOpening::In(const CheckedFolder& folder, const std::string& name, FileAccess access,
                        const OpenedObjectCheck& check, CheckedFile* file, unsigned mode, const HolderChain* chain,
                        CheckedFolder* owned) {
    if (!folder.IsOpen()) return ERROR_INVALID_HANDLE;
    if (name.empty()) return ERROR_FILE_NOT_FOUND;
    if (name == "." || name == ".." || name.find('/') != std::string::npos) return ERROR_ACCESS_DENIED;
    const int at = folder.Descriptor();
    int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    switch (access) {
        case FileAccess::Read:
            flags |= O_RDONLY;
            break;
        case FileAccess::Write:
            flags |= O_WRONLY;
            break;
        case FileAccess::Append:
            flags |= O_WRONLY | O_APPEND;
            break;
        case FileAccess::Name:
            flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
            break;
    }
    bool created = false;
    int fd = SystemCalls().openat(at, name.c_str(), flags);
    if (fd < 0 && errno == ENOENT && (access == FileAccess::Write || access == FileAccess::Append)) {
        fd = SystemCalls().openat(at, name.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0) {
            created = true;
            // The mode is meant whatever the umask is.
            SystemCalls().fchmod(fd, mode);
        } else if (errno == EEXIST) {
            fd = SystemCalls().openat(at, name.c_str(), flags);
        }
    }
    if (fd < 0) return OpenErrorNumber(errno);
    struct stat st;
    bool refused = SystemCalls().fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (access != FileAccess::Name && !S_ISREG(st.st_mode));
    if (!refused) refused = !Judge(fd, at, check, &st, chain);
    if (refused) {
        // A file made here for the caller does not stay behind.
        if (created && SameEntry(at, name, IdentityOf(st))) SystemCalls().unlinkat(at, name.c_str(), 0);
        SystemCalls().close(fd);
        return ERROR_ACCESS_DENIED;
    }
    // Only a regular file gets here, whose reads never wait whatever the flag says; writes
    // are made to wait for room like any other file's (a file system may pass the flag on).
    if (access == FileAccess::Write || access == FileAccess::Append)
        SystemCalls().fcntl(fd, F_SETFL, SystemCalls().fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    CheckedFile opened;
    if (owned) {
        opened.m_folder = std::move(*owned);
    } else {
        int folderCopy = SystemCalls().fcntl(at, F_DUPFD_CLOEXEC, 0);
        if (folderCopy < 0) {
            long error = Win32LastErrno();
            SystemCalls().close(fd);
            return error;
        }
        opened.m_folder.m_fd = folderCopy;
        opened.m_folder.m_path = folder.Path();
    }
    opened.m_fd = fd;
    opened.m_name = name;
    opened.m_identity = IdentityOf(st);
    opened.m_regular = S_ISREG(st.st_mode);
    opened.m_openedStamp = StampOf(st);
    *file = std::move(opened);
    return ERROR_SUCCESS;
}

long OpenCheckedFileIn(const CheckedFolder& folder, const std::string& name, FileAccess access,
                       const OpenedObjectCheck& check, CheckedFile* file, unsigned mode) {
    return CheckedOpening::In(folder, name, access, check, file, mode, nullptr, nullptr);
}

long OpenCheckedFile(const std::string& pathIn, FileAccess access, const OpenedObjectCheck& check, CheckedFile* file,
                     unsigned mode) {
    const std::string path = ToUnixPath(pathIn);
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return ERROR_FILE_NOT_FOUND;
    CheckedFolder folder;
    HolderChain chain;
    if (long err = CheckedOpening::Folder(dir, check, &folder, &chain); err != ERROR_SUCCESS) return err;
    return CheckedOpening::In(folder, name, access, check, file, mode, &chain, &folder);
}

}  // namespace tessaro::platform
