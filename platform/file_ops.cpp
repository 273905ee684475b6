#include "platform/file_ops.h"
#include "platform/descriptor.h"
#include "platform/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/path_util.h"
#include "platform/random_bytes.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

constexpr int kNameAttempts = 10;
// Copies in progress are hidden beside their target under this prefix.
constexpr const char* kStagingPrefix = ".BTS";

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) SystemCalls().close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now, so that a failing close is seen.
    bool Close() {
        int fd = m_fd;
        m_fd = -1;
        return SystemCalls().close(fd) == 0;
    }

private:
    int m_fd;
};

long CopyDescriptors(int in, int out) {
    char buffer[65536];
    for (;;) {
        ssize_t n = RetryOnInterrupt([&] { return SystemCalls().read(in, buffer, sizeof buffer); });
        if (n < 0) return Win32LastErrno();
        if (n == 0) return ERROR_SUCCESS;
        if (long err = WriteAll(out, buffer, static_cast<std::size_t>(n)); err != ERROR_SUCCESS) return err;
    }
}

void SplitLast(const std::string& path, std::string* dir, std::string* name) {
    std::size_t slash = path.rfind('/');
    *dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

// Empty when the random source cannot be read (the reason in Win32LastErrno()): a name
// that others could guess is never handed out in its place.
std::string RandomHex() {
    unsigned char bytes[4] = {};
    if (!FillRandomBytes(bytes, sizeof bytes)) return {};
    char text[9];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

std::string RandomCharacters(std::size_t count) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[16] = {};
    if (count > sizeof bytes || !FillRandomBytes(bytes, count)) return {};
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += kAlphabet[bytes[i] % (sizeof kAlphabet - 1)];
    return text;
}

long CreateExclusiveAt(int dir, const std::string& name, unsigned mode, int* fdOut) {
    int fd = SystemCalls().openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return errno == EEXIST ? ERROR_FILE_EXISTS : Win32LastErrno();
    // The mode is meant whatever the umask is.
    SystemCalls().fchmod(fd, mode);
    *fdOut = fd;
    return ERROR_SUCCESS;
}

// A new file <prefix><8 hex digits>[.ext] in the folder dir.
long UniqueFileAt(int dir, const std::string& prefix, const std::string& ext, std::string* name, int* fdOut) {
    long last = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string hex = RandomHex();
        if (hex.empty()) return Win32LastErrno();
        std::string candidate = prefix + hex + (ext.empty() ? "" : "." + ext);
        last = CreateExclusiveAt(dir, candidate, kTemplateFileMode, fdOut);
        if (last == ERROR_SUCCESS) {
            *name = candidate;
            return ERROR_SUCCESS;
        }
        if (last != ERROR_FILE_EXISTS) return last;
    }
    return last;
}

// Copies in into a new hidden file of folder; its name goes to *staging.
long StageCopy(int folder, int in, std::string* staging) {
    int fd = -1;
    long err = UniqueFileAt(folder, kStagingPrefix, "", staging, &fd);
    if (err != ERROR_SUCCESS) return err;
    Fd out(fd);
    err = CopyDescriptors(in, out.get());
    if (err == ERROR_SUCCESS && !out.Close()) err = Win32LastErrno();
    if (err != ERROR_SUCCESS) SystemCalls().unlinkat(folder, staging->c_str(), 0);
    return err;
}

// Puts the staged file under name, replacing a regular file there the check allows (judged
// as the rename finds it), or only when the name is free (80 otherwise). The staged name is
// gone afterwards either way.
long PlaceStaged(const CheckedFolder& target, const std::string& staging, const std::string& name, bool replace,
                 const OpenedObjectCheck& check) {
    if (replace) return ReplaceEntryIn(target, staging, name, check);
    const int folder = target.Descriptor();
    long err = ERROR_SUCCESS;
    if (SystemCalls().renameat2(folder, staging.c_str(), folder, name.c_str(), RENAME_NOREPLACE) != 0) {
        // A file system that cannot rename so takes a second name instead.
        if (errno != EINVAL && errno != ENOSYS)
            err = Win32LastErrno();
        else if (SystemCalls().linkat(folder, staging.c_str(), folder, name.c_str(), 0) != 0)
            err = Win32LastErrno();
    }
    SystemCalls().unlinkat(folder, staging.c_str(), 0);
    return err;
}

long OpenOwnFile(const std::string& path, int* fdOut) {
    int fd = SystemCalls().open(ToUnixPath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ELOOP ? ERROR_ACCESS_DENIED : Win32LastErrno();
    struct stat st;
    if (SystemCalls().fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        SystemCalls().close(fd);
        return ERROR_ACCESS_DENIED;
    }
    *fdOut = fd;
    return ERROR_SUCCESS;
}

// The entry name of folder is the file identity names.
bool EntryIs(int folder, const std::string& name, const FileIdentity& identity) {
    struct stat st;
    return SystemCalls().fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           static_cast<std::uint64_t>(st.st_dev) == identity.device &&
           static_cast<std::uint64_t>(st.st_ino) == identity.inode;
}

// A second name for the opened file in folder, hidden; false when the system cannot
// give one there (another file system, a file of another user).
bool LinkOpenedFile(const CheckedFile& file, int folder, std::string* staging) {
    const std::string self = DescriptorSelfLink(file.Descriptor());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string hex = RandomHex();
        if (hex.empty()) return false;
        *staging = kStagingPrefix + hex;
        if (SystemCalls().linkat(AT_FDCWD, self.c_str(), folder, staging->c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

long FillStatus(const struct statx& sx, FileStatus* status) {
    status->isDirectory = S_ISDIR(sx.stx_mode);
    status->size = sx.stx_size;
    status->created = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
    status->modified = sx.stx_mtime.tv_sec;
    status->accessed = sx.stx_atime.tv_sec;
    return ERROR_SUCCESS;
}

}  // namespace

long GetEntryStatus(const CheckedFolder& folder, const std::string& name, FileStatus* status) {
    struct statx sx {};
    if (name.empty() || name.find('/') != std::string::npos) return ERROR_FILE_NOT_FOUND;
    if (SystemCalls().statx(folder.Descriptor(), name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                            &sx) != 0)
        return Win32LastErrno();
    return FillStatus(sx, status);
}

long MoveFileReplacing(const std::string& fromIn, const std::string& toIn, const OpenedObjectCheck& check) {
    CheckedFile source;
    if (long err = OpenCheckedFile(fromIn, FileAccess::Read, check, &source); err != ERROR_SUCCESS) return err;
    std::string dir, name;
    SplitLast(ToUnixPath(toIn), &dir, &name);
    if (name.empty()) return ERROR_FILE_NOT_FOUND;
    CheckedFolder target;
    if (long err = OpenCheckedFolder(dir, check, &target); err != ERROR_SUCCESS) return err;
    const int folder = target.Descriptor(), home = source.Folder().Descriptor();
    // Onto itself (or another name of itself) nothing moves.
    if (EntryIs(folder, name, source.Identity())) return ERROR_SUCCESS;
    if (long err = CheckEntryIn(target, name, check); err != ERROR_SUCCESS) return err;
    // The old name is set aside first: a folder where it cannot be changed fails the
    // move before anything else has changed, and a name that no longer is the file
    // judged is put back untouched.
    const std::string hex = RandomHex();
    if (hex.empty()) return Win32LastErrno();
    const std::string aside = kStagingPrefix + hex;
    if (SystemCalls().renameat(home, source.Name().c_str(), home, aside.c_str()) != 0) return Win32LastErrno();
    auto putBack = [&] { SystemCalls().renameat(home, aside.c_str(), home, source.Name().c_str()); };
    if (!EntryIs(home, aside, source.Identity())) {
        putBack();
        return ERROR_ACCESS_DENIED;
    }
    std::string staging;
    if (!LinkOpenedFile(source, folder, &staging)) {
        if (long err = StageCopy(folder, source.Descriptor(), &staging); err != ERROR_SUCCESS) {
            putBack();
            return err;
        }
    }
    if (long err = PlaceStaged(target, staging, name, true, check); err != ERROR_SUCCESS) {
        putBack();
        return err;
    }
    if (EntryIs(home, aside, source.Identity())) SystemCalls().unlinkat(home, aside.c_str(), 0);
    return ERROR_SUCCESS;
}

long CopyFileReplacing(const std::string& from, const std::string& to, const OpenedObjectCheck& check) {
    CheckedFile source;
    if (long err = OpenCheckedFile(from, FileAccess::Read, check, &source); err != ERROR_SUCCESS) return err;
    std::string dir, name;
    SplitLast(ToUnixPath(to), &dir, &name);
    if (name.empty()) return ERROR_FILE_NOT_FOUND;
    CheckedFolder target;
    if (long err = OpenCheckedFolder(dir, check, &target); err != ERROR_SUCCESS) return err;
    if (long err = CheckEntryIn(target, name, check); err != ERROR_SUCCESS) return err;
    std::string staging;
    if (long err = StageCopy(target.Descriptor(), source.Descriptor(), &staging); err != ERROR_SUCCESS) return err;
    return PlaceStaged(target, staging, name, true, check);
}

long DeleteCheckedFile(const std::string& path, const OpenedObjectCheck& check) {
    CheckedFile file;
    if (long err = OpenCheckedFile(path, FileAccess::Name, check, &file); err != ERROR_SUCCESS) return err;
    return file.RemoveName();
}

long CreateUniqueFileIn(const std::string& dirIn, const std::string& prefixIn, const OpenedObjectCheck& check,
                        std::string* path) {
    path->clear();
    if (dirIn.empty()) return ERROR_PATH_NOT_FOUND;
    CheckedFolder folder;
    if (long err = OpenCheckedFolder(dirIn, check, &folder); err != ERROR_SUCCESS) return err;
    std::string prefix = prefixIn;
    for (char& c : prefix)
        if (c == '/' || c == '\\') c = '_';
    long last = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string random = RandomCharacters(6);
        if (random.empty()) return Win32LastErrno();
        std::string name = prefix + random;
        int fd = -1;
        last = CreateExclusiveAt(folder.Descriptor(), name, 0600, &fd);
        if (last == ERROR_SUCCESS) {
            SystemCalls().close(fd);
            std::string dir = ToUnixPath(dirIn);
            *path = dir + (dir.back() == '/' ? "" : "/") + name;
            return ERROR_SUCCESS;
        }
        if (last != ERROR_FILE_EXISTS) return last;
    }
    return last;
}

long SaveCopyInFolder(const std::string& from, const CheckedFolder& folder, const std::string& name, bool replace,
                      const OpenedObjectCheck& check) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return ERROR_ACCESS_DENIED;
    if (long err = CheckEntryIn(folder, name, check); err != ERROR_SUCCESS) return err;
    int inFd = -1;
    if (long err = OpenOwnFile(from, &inFd); err != ERROR_SUCCESS) return err;
    Fd in(inFd);
    std::string staging;
    if (long err = StageCopy(folder.Descriptor(), in.get(), &staging); err != ERROR_SUCCESS) return err;
    return PlaceStaged(folder, staging, name, replace, check);
}

long SaveCopyUnderUniqueName(const std::string& from, const CheckedFolder& folder, const std::string& prefix,
                             const std::string& ext, std::string* name) {
    int inFd = -1;
    if (long err = OpenOwnFile(from, &inFd); err != ERROR_SUCCESS) return err;
    Fd in(inFd);
    long last = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts && last == ERROR_FILE_EXISTS; ++attempt) {
        std::string hex = RandomHex();
        if (hex.empty()) return Win32LastErrno();
        std::string candidate = prefix + hex + (ext.empty() ? "" : "." + ext);
        std::string staging;
        if (SystemCalls().lseek(in.get(), 0, SEEK_SET) != 0) return Win32LastErrno();
        if (long err = StageCopy(folder.Descriptor(), in.get(), &staging); err != ERROR_SUCCESS) return err;
        last = PlaceStaged(folder, staging, candidate, false, {});
        if (last == ERROR_SUCCESS) *name = candidate;
    }
    return last;
}

long WriteTextFile(const std::string& path, const std::string& text, bool append, const OpenedObjectCheck& check) {
    CheckedFile file;
    long err = OpenCheckedFile(path, append ? FileAccess::Append : FileAccess::Write, check, &file, kTemplateFileMode);
    if (err != ERROR_SUCCESS) return err;
    const int fd = file.Descriptor();
    // Truncated only once the lock is held, so a writer in progress is not cut short.
    if (SystemCalls().flock(fd, LOCK_EX) != 0) return Win32LastErrno();
    if (!append && SystemCalls().ftruncate(fd, 0) != 0) return Win32LastErrno();
    if (long err = WriteAll(fd, text.data(), text.size()); err != ERROR_SUCCESS) return err;
    return file.Close();
}

long ReadWholeFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    Fd fd(SystemCalls().open(ToUnixPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return Win32LastErrno();
    char buffer[65536];
    for (;;) {
        ssize_t n = RetryOnInterrupt([&] { return SystemCalls().read(fd.get(), buffer, sizeof buffer); });
        if (n < 0) return Win32LastErrno();
        if (n == 0) return ERROR_SUCCESS;
        bytes->append(buffer, static_cast<std::size_t>(n));
    }
}

namespace {

long ReadChecked(const std::string& path, std::size_t limit, const OpenedObjectCheck& check, std::string* bytes,
                 FileStamp* stamp) {
    bytes->clear();
    CheckedFile file;
    if (long err = OpenCheckedFile(path, FileAccess::Read, check, &file); err != ERROR_SUCCESS) return err;
    if (stamp != nullptr) *stamp = file.OpenedStamp();
    return file.ReadAsOpened(limit, bytes);
}

}  // namespace

long ReadCheckedFile(const std::string& path, std::size_t limit, const OpenedObjectCheck& check, std::string* bytes) {
    return ReadChecked(path, limit, check, bytes, nullptr);
}

long ReadCheckedFile(const std::string& path, std::size_t limit, const OpenedObjectCheck& check, std::string* bytes,
                     FileStamp* stamp) {
    *stamp = {};
    return ReadChecked(path, limit, check, bytes, stamp);
}

}  // namespace tessaro::platform
