// The file, descriptor, socket and process-wait calls platform/ makes, as one table: each
// row names the call, keeps the real function and the pointer every call goes through now.
// (The calls that change the process's identity, signals, threads and loaded libraries are
// made directly: no test needs them to fail.) A test swaps a row (ScopedSystemCall)
// to make a call fail on purpose, and the row is put back when the scope ends.
//
// The retry of a call a signal interrupted, and the loop that writes a whole buffer, are
// written here once.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstddef>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
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
    TESSARO_SYSTEM_CALL(waitpid)
    TESSARO_SYSTEM_CALL(kill)
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
