#include "platform/program_install.h"
#include "platform/system_calls.h"
#include "platform/win32_error.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tessaro::platform {

namespace {

constexpr mode_t kProgramMode = 0755;
constexpr mode_t kStarterMode = 04750;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// The libraries (*.so) of a folder.
std::vector<std::string> LibrariesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = SystemCalls().opendir(folder.c_str())) {
        while (dirent* entry = SystemCalls().readdir(dir)) {
            std::string name = entry->d_name;
            if (EndsWith(name, ".so") && name[0] != '.') names.push_back(name);
        }
        SystemCalls().closedir(dir);
    }
    return names;
}

class Installer {
public:
    Installer(bool asRoot, ProgramInstallResult& result) : asRoot_(asRoot), result_(result) {}

    // The destination folder: made when missing; as root, made root's and 0755.
    bool PrepareFolder(const std::string& folder) {
        if (SystemCalls().mkdir(folder.c_str(), kProgramMode) != 0 && errno != EEXIST) return Fail(folder);
        struct stat st {};
        if (SystemCalls().lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            return Fail(folder);
        }
        if (asRoot_ && (SystemCalls().chown(folder.c_str(), 0, 0) != 0 || SystemCalls().chmod(folder.c_str(), kProgramMode) != 0))
            return Fail(folder);
        return true;
    }

    // One file; a starter is copied, owned by root and the web group, set-user-id.
    bool Install(const std::string& from, const std::string& to, bool starter, gid_t webGroup) {
        struct stat source {};
        if (SystemCalls().stat(from.c_str(), &source) != 0) return Fail(from);
        struct stat present {};
        if (SystemCalls().lstat(to.c_str(), &present) == 0) {
            if (present.st_dev == source.st_dev && present.st_ino == source.st_ino) {
                ++result_.unchanged;
                return true;
            }
            if (!starter && Unchanged(source, present)) {
                ++result_.unchanged;
                return true;
            }
        }
        const std::string temporary = to + ".new-" + std::to_string(::getpid());
        SystemCalls().unlink(temporary.c_str());
        bool placed = !starter && MayLink(source) && SystemCalls().link(from.c_str(), temporary.c_str()) == 0;
        if (!placed && !Copy(from, temporary, source, starter, webGroup)) {
            SystemCalls().unlink(temporary.c_str());
            return false;
        }
        if (SystemCalls().rename(temporary.c_str(), to.c_str()) != 0) {
            int e = errno;
            SystemCalls().unlink(temporary.c_str());
            errno = e;
            return Fail(to);
        }
        ++result_.installed;
        return true;
    }

    const std::string& error() const { return error_; }

private:
    // A copy made earlier: same size and time, and as root still root's and unwritable by others.
    bool Unchanged(const struct stat& source, const struct stat& present) const {
        if (!S_ISREG(present.st_mode) || present.st_size != source.st_size ||
            present.st_mtim.tv_sec != source.st_mtim.tv_sec || present.st_mtim.tv_nsec != source.st_mtim.tv_nsec)
            return false;
        return !asRoot_ || (present.st_uid == 0 && (present.st_mode & 022) == 0);
    }

    // The build's own file serves as it is when nobody but its owner, the installer, can change it.
    bool MayLink(const struct stat& source) const {
        if (asRoot_) return source.st_uid == 0 && (source.st_mode & 022) == 0;
        return source.st_uid == ::geteuid();
    }

    bool Copy(const std::string& from, const std::string& to, const struct stat& source, bool starter, gid_t webGroup) {
        int in = SystemCalls().open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) return Fail(from);
        int out = SystemCalls().open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
        if (out < 0) {
            SystemCalls().close(in);
            return Fail(to);
        }
        bool ok = true;
        char buffer[65536];
        for (;;) {
            ssize_t n = RetryOnInterrupt([&] { return SystemCalls().read(in, buffer, sizeof buffer); });
            if (n < 0) {
                ok = Fail(from);
                break;
            }
            if (n == 0) break;
            if (WriteAll(out, buffer, static_cast<std::size_t>(n)) != ERROR_SUCCESS) {
                ok = Fail(to);
                break;
            }
        }
        // The owner first: a change of owner clears the set-user-id bit.
        if (ok && asRoot_ && SystemCalls().fchown(out, 0, starter ? webGroup : 0) != 0) ok = Fail(to);
        if (ok && SystemCalls().fchmod(out, starter ? kStarterMode : kProgramMode) != 0) ok = Fail(to);
        if (ok) {
            const timespec times[2] = {source.st_atim, source.st_mtim};
            SystemCalls().futimens(out, times);
        }
        SystemCalls().close(in);
        if (SystemCalls().close(out) != 0 && ok) ok = Fail(to);
        return ok;
    }

    bool Fail(const std::string& path) {
        if (error_.empty()) error_ = path + ": " + std::strerror(errno);
        return false;
    }

    bool asRoot_;
    ProgramInstallResult& result_;
    std::string error_;
};

}  // namespace

bool InstallRuntimePrograms(const std::string& fromBin, const std::string& root, bool withStarter, gid_t webGroup,
                            ProgramInstallResult& result, std::string* error) {
    const std::string from = WithSlash(fromBin);
    const std::string fromLib = from + "../lib/";
    const std::string bin = root + "/bin";
    const std::string lib = root + "/lib";
    result.binFolder = bin;
    Installer installer(::geteuid() == 0, result);
    auto failed = [&] {
        if (error) *error = installer.error();
        return false;
    };
    if (!installer.PrepareFolder(bin) || !installer.PrepareFolder(lib)) return failed();
    for (const char* program : kInstalledPrograms) {
        const std::string source = from + program;
        if (SystemCalls().access(source.c_str(), F_OK) != 0) continue;
        if (!installer.Install(source, bin + "/" + program, false, webGroup)) return failed();
    }
    for (const std::string& name : LibrariesIn(from))
        if (!installer.Install(from + name, bin + "/" + name, false, webGroup)) return failed();
    for (const std::string& name : LibrariesIn(fromLib))
        if (!installer.Install(fromLib + name, lib + "/" + name, false, webGroup)) return failed();
    if (withStarter) {
        const std::string source = from + kServiceStarterProgram;
        if (SystemCalls().access(source.c_str(), F_OK) != 0) {
            if (error) *error = source + ": the service starter was not built";
            return false;
        }
        if (!installer.Install(source, bin + "/" + kServiceStarterProgram, true, webGroup)) return failed();
    }
    return true;
}

}  // namespace tessaro::platform
