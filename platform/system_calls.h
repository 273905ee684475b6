// The system calls platform/ makes, as one table: each row names the call, keeps the real
// function and the pointer every call goes through now. A test swaps a row (ScopedSystemCall)
// to make a call fail on purpose, and the row is put back when the scope ends.
//
// Made directly, outside the table: what cannot fail or whose failure no caller could act on
// (getpid, gettid, getuid, geteuid, sysconf(_SC_PAGESIZE), clock_gettime, getenv, _exit,
// syslog and openlog), the work on a signal set in memory (sigemptyset, sigaddset), the
// address conversions (inet_pton, inet_ntop), and the calls the SQLite lock holder passes on
// to SQLite's own (it stands in front of them). The service starter (service_starter.cpp)
// is its own small library for the set-user-id tsstart, linked with nothing else of the
// platform and no sanitizer run-time: it calls the system directly.
//
// The retry of a call a signal interrupted, and the loop that writes a whole buffer, are
// written here once.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstddef>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/timerfd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

namespace tessaro::platform {

template <typename Signature>
class SystemCall;

// One row. The pointer is atomic: a test may swap it while the engine's threads run.
template <typename R, typename... A, bool NoExcept>
class SystemCall<R(A...) noexcept(NoExcept)> {
public:
    using Function = R (*)(A...);

    constexpr SystemCall(const char* name, Function real) : name_(name), real_(real), current_(real) {}
    SystemCall(const SystemCall&) = delete;
    SystemCall& operator=(const SystemCall&) = delete;

    R operator()(A... args) const { return current_.load(std::memory_order_acquire)(args...); }

    const char* Name() const { return name_; }
    Function Real() const { return real_; }
    Function Current() const { return current_.load(std::memory_order_acquire); }
    // Puts f in the row; the function it held before.
    Function Swap(Function f) { return current_.exchange(f, std::memory_order_acq_rel); }

private:
    const char* name_;
    Function real_;
    std::atomic<Function> current_;
};

namespace system_call_detail {
// The calls whose C declaration takes a variable argument list, given fixed ones.
int Open(const char* path, int flags, mode_t mode);
int OpenAt(int folder, const char* path, int flags, mode_t mode);
int Fcntl(int fd, int command, long argument);
int FcntlLock(int fd, int command, struct flock* lock);
int Ioctl(int fd, unsigned long request, void* argument);
}  // namespace system_call_detail

// open and openat with the mode left out, as the C calls allow.
struct OpenCall : SystemCall<int(const char*, int, mode_t)> {
    using SystemCall::SystemCall;
    using SystemCall::operator();
    int operator()(const char* path, int flags) const { return (*this)(path, flags, 0); }
};
struct OpenAtCall : SystemCall<int(int, const char*, int, mode_t)> {
    using SystemCall::SystemCall;
    using SystemCall::operator();
    int operator()(int folder, const char* path, int flags) const { return (*this)(folder, path, flags, 0); }
};
// fcntl with no argument, an integer one, or a lock description.
struct FcntlCall : SystemCall<int(int, int, long)> {
    using SystemCall::SystemCall;
    using SystemCall::operator();
    int operator()(int fd, int command) const { return (*this)(fd, command, 0L); }
    int operator()(int fd, int command, int argument) const { return (*this)(fd, command, static_cast<long>(argument)); }
};

// The C library's declarations carry attributes (nonnull, warn_unused_result) that a
// template argument drops; the row's type is the bare signature.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
#define TESSARO_SYSTEM_CALL(name) SystemCall<decltype(::name)> name{#name, &::name};

struct SystemCallTable {
    OpenCall open{"open", &system_call_detail::Open};
    OpenAtCall openat{"openat", &system_call_detail::OpenAt};
    FcntlCall fcntl{"fcntl", &system_call_detail::Fcntl};
    SystemCall<int(int, int, struct flock*)> fcntl_lock{"fcntl", &system_call_detail::FcntlLock};
    TESSARO_SYSTEM_CALL(close)
    TESSARO_SYSTEM_CALL(read)
    TESSARO_SYSTEM_CALL(write)
    TESSARO_SYSTEM_CALL(pread)
    TESSARO_SYSTEM_CALL(pwrite)
    TESSARO_SYSTEM_CALL(lseek)
    TESSARO_SYSTEM_CALL(ftruncate)
    TESSARO_SYSTEM_CALL(fsync)
    TESSARO_SYSTEM_CALL(stat)
    TESSARO_SYSTEM_CALL(fstat)
    TESSARO_SYSTEM_CALL(lstat)
    TESSARO_SYSTEM_CALL(fstatat)
    TESSARO_SYSTEM_CALL(access)
    TESSARO_SYSTEM_CALL(faccessat)
    TESSARO_SYSTEM_CALL(unlink)
    TESSARO_SYSTEM_CALL(unlinkat)
    TESSARO_SYSTEM_CALL(mkdir)
    TESSARO_SYSTEM_CALL(mkdirat)
    TESSARO_SYSTEM_CALL(rmdir)
    TESSARO_SYSTEM_CALL(rename)
    TESSARO_SYSTEM_CALL(renameat)
    TESSARO_SYSTEM_CALL(renameat2)
    TESSARO_SYSTEM_CALL(link)
    TESSARO_SYSTEM_CALL(linkat)
    TESSARO_SYSTEM_CALL(symlink)
    TESSARO_SYSTEM_CALL(readlink)
    TESSARO_SYSTEM_CALL(mkfifo)
    TESSARO_SYSTEM_CALL(chmod)
    TESSARO_SYSTEM_CALL(fchmod)
    TESSARO_SYSTEM_CALL(chown)
    TESSARO_SYSTEM_CALL(fchown)
    TESSARO_SYSTEM_CALL(lchown)
    TESSARO_SYSTEM_CALL(fchownat)
    TESSARO_SYSTEM_CALL(futimens)
    TESSARO_SYSTEM_CALL(flock)
    TESSARO_SYSTEM_CALL(dup)
    TESSARO_SYSTEM_CALL(dup2)
    TESSARO_SYSTEM_CALL(pipe2)
    TESSARO_SYSTEM_CALL(poll)
    TESSARO_SYSTEM_CALL(mmap)
    TESSARO_SYSTEM_CALL(munmap)
    TESSARO_SYSTEM_CALL(madvise)
    TESSARO_SYSTEM_CALL(opendir)
    TESSARO_SYSTEM_CALL(fdopendir)
    TESSARO_SYSTEM_CALL(readdir)
    TESSARO_SYSTEM_CALL(closedir)
    TESSARO_SYSTEM_CALL(socket)
    TESSARO_SYSTEM_CALL(bind)
    TESSARO_SYSTEM_CALL(listen)
    TESSARO_SYSTEM_CALL(accept4)
    TESSARO_SYSTEM_CALL(connect)
    TESSARO_SYSTEM_CALL(send)
    TESSARO_SYSTEM_CALL(sendto)
    TESSARO_SYSTEM_CALL(sendmsg)
    TESSARO_SYSTEM_CALL(recv)
    TESSARO_SYSTEM_CALL(recvmsg)
    TESSARO_SYSTEM_CALL(shutdown)
    TESSARO_SYSTEM_CALL(setsockopt)
    TESSARO_SYSTEM_CALL(getsockopt)
    TESSARO_SYSTEM_CALL(getsockname)
    // What the file systems say of themselves, and the rest of the descriptor calls.
    TESSARO_SYSTEM_CALL(statx)
    TESSARO_SYSTEM_CALL(statfs)
    TESSARO_SYSTEM_CALL(fstatfs)
    TESSARO_SYSTEM_CALL(dirfd)
    TESSARO_SYSTEM_CALL(mkstemp)
    TESSARO_SYSTEM_CALL(close_range)
    SystemCall<int(int, unsigned long, void*)> ioctl{"ioctl", &system_call_detail::Ioctl};
    TESSARO_SYSTEM_CALL(gethostname)
    TESSARO_SYSTEM_CALL(getrandom)
    // Change reports: the watched folders, the wake-ups and timers of the window loops.
    TESSARO_SYSTEM_CALL(inotify_init1)
    TESSARO_SYSTEM_CALL(inotify_add_watch)
    TESSARO_SYSTEM_CALL(inotify_rm_watch)
    TESSARO_SYSTEM_CALL(eventfd)
    TESSARO_SYSTEM_CALL(signalfd)
    TESSARO_SYSTEM_CALL(timerfd_create)
    TESSARO_SYSTEM_CALL(timerfd_settime)
    // Names and loaded libraries.
    TESSARO_SYSTEM_CALL(getaddrinfo)
    TESSARO_SYSTEM_CALL(freeaddrinfo)
    TESSARO_SYSTEM_CALL(dlopen)
    TESSARO_SYSTEM_CALL(dlsym)
    TESSARO_SYSTEM_CALL(dlclose)
    TESSARO_SYSTEM_CALL(dlerror)
    // Processes: their making, waiting, signalling and environment.
    TESSARO_SYSTEM_CALL(waitpid)
    TESSARO_SYSTEM_CALL(kill)
    TESSARO_SYSTEM_CALL(fork)
    TESSARO_SYSTEM_CALL(setsid)
    TESSARO_SYSTEM_CALL(execve)
    TESSARO_SYSTEM_CALL(chdir)
    TESSARO_SYSTEM_CALL(umask)
    TESSARO_SYSTEM_CALL(setenv)
    TESSARO_SYSTEM_CALL(posix_spawn)
    TESSARO_SYSTEM_CALL(posix_spawn_file_actions_init)
    TESSARO_SYSTEM_CALL(posix_spawn_file_actions_addopen)
    TESSARO_SYSTEM_CALL(posix_spawn_file_actions_adddup2)
    TESSARO_SYSTEM_CALL(posix_spawn_file_actions_destroy)
    TESSARO_SYSTEM_CALL(posix_spawnattr_init)
    TESSARO_SYSTEM_CALL(posix_spawnattr_setflags)
    TESSARO_SYSTEM_CALL(posix_spawnattr_setpgroup)
    TESSARO_SYSTEM_CALL(posix_spawnattr_destroy)
    // The process's identity.
    TESSARO_SYSTEM_CALL(getresuid)
    TESSARO_SYSTEM_CALL(setgroups)
    TESSARO_SYSTEM_CALL(setresgid)
    TESSARO_SYSTEM_CALL(setresuid)
    // Signals.
    TESSARO_SYSTEM_CALL(signal)
    TESSARO_SYSTEM_CALL(sigaction)
    TESSARO_SYSTEM_CALL(sigprocmask)
    TESSARO_SYSTEM_CALL(pthread_sigmask)
    TESSARO_SYSTEM_CALL(sigtimedwait)
    // Threads, and what a forked child must find unlocked.
    TESSARO_SYSTEM_CALL(pthread_attr_init)
    TESSARO_SYSTEM_CALL(pthread_attr_setstacksize)
    TESSARO_SYSTEM_CALL(pthread_attr_destroy)
    TESSARO_SYSTEM_CALL(pthread_create)
    TESSARO_SYSTEM_CALL(pthread_join)
    TESSARO_SYSTEM_CALL(pthread_atfork)
};

#undef TESSARO_SYSTEM_CALL
#pragma GCC diagnostic pop

extern SystemCallTable systemCallTable;

// The table every call in platform/ goes through.
inline SystemCallTable& SystemCalls() { return systemCallTable; }

// Puts replacement in one row of the table for the life of this object, then puts back
// what the row held.
template <typename Call>
class ScopedSystemCall {
public:
    ScopedSystemCall(Call& call, typename Call::Function replacement)
        : call_(call), previous_(call.Swap(replacement)) {}
    ~ScopedSystemCall() { call_.Swap(previous_); }
    ScopedSystemCall(const ScopedSystemCall&) = delete;
    ScopedSystemCall& operator=(const ScopedSystemCall&) = delete;

private:
    Call& call_;
    typename Call::Function previous_;
};

// Calls f again for as long as a signal interrupts it (-1 with EINTR).
template <typename F>
auto RetryOnInterrupt(F&& f) {
    for (;;) {
        auto result = f();
        if (!(result == -1 && errno == EINTR)) return result;
    }
}

// Writes all of data, going on after short writes and interruptions. ERROR_SUCCESS, or the
// Windows number of the failure (also in Win32LastErrno()).
long WriteAll(int fd, const void* data, std::size_t len);

// WriteAll through pwrite, data going to the file from offset on.
long WriteAllAt(int fd, const void* data, std::size_t len, off_t offset);

// WriteAll on a socket through send with MSG_NOSIGNAL, so that a vanished reader gives
// ERROR_BROKEN_PIPE, not SIGPIPE.
long SendAll(int fd, const void* data, std::size_t len);

}  // namespace tessaro::platform
