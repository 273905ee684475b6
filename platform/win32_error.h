// Windows error numbers used by the system's logic and messages, and the mapping
// from errno. Messages keep their Windows wording ("Windows NT error number %ld
// occurred") with these numbers.
#pragma once

#include <string>

namespace tessaro::platform {

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_INVALID_FUNCTION = 1;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_PATH_NOT_FOUND = 3;
constexpr long ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_HANDLE = 6;
constexpr long ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr long ERROR_INVALID_DATA = 13;
constexpr long ERROR_GEN_FAILURE = 31;
constexpr long ERROR_SHARING_VIOLATION = 32;
constexpr long ERROR_LOCK_VIOLATION = 33;
constexpr long ERROR_HANDLE_EOF = 38;
constexpr long ERROR_FILE_EXISTS = 80;
constexpr long ERROR_INVALID_PARAMETER = 87;
constexpr long ERROR_BROKEN_PIPE = 109;
constexpr long ERROR_DISK_FULL = 112;
constexpr long ERROR_INSUFFICIENT_BUFFER = 122;
constexpr long ERROR_INVALID_NAME = 123;
constexpr long ERROR_MOD_NOT_FOUND = 126;
constexpr long ERROR_PROC_NOT_FOUND = 127;
constexpr long ERROR_DIR_NOT_EMPTY = 145;
constexpr long ERROR_BAD_PATHNAME = 161;
constexpr long ERROR_ALREADY_EXISTS = 183;
constexpr long ERROR_BAD_EXE_FORMAT = 193;  // a library file the loader cannot use
constexpr long ERROR_FILENAME_EXCED_RANGE = 206;
constexpr long ERROR_PIPE_BUSY = 231;
constexpr long ERROR_NO_DATA = 232;
constexpr long ERROR_PIPE_NOT_CONNECTED = 233;
constexpr long ERROR_MORE_DATA = 234;
constexpr long WAIT_TIMEOUT_ERROR = 258;  // WAIT_TIMEOUT as an error number
constexpr long ERROR_NO_MORE_ITEMS = 259;
constexpr long ERROR_PIPE_CONNECTED = 535;
constexpr long ERROR_KEY_DELETED = 1018;
constexpr long ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr long ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr long ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr long ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr long ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr long ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
constexpr long ERROR_SERVICE_LOGON_FAILED = 1069;  // the service cannot run as its account
constexpr long ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
constexpr long ERROR_SERVICE_EXISTS = 1073;
constexpr long ERROR_SHUTDOWN_IN_PROGRESS = 1115;
constexpr long ERROR_IO_DEVICE = 1117;
constexpr long ERROR_NONE_MAPPED = 1332;  // no such account or group
constexpr long RPC_S_SERVER_UNAVAILABLE = 1722;  // machine unreachable

// Maps an errno value to the Windows number the system reports:
// ENOENT/ENOTDIR 2, EACCES/EPERM/EROFS/EISDIR 5, ENOMEM 8, EEXIST 80, ENOSPC/EDQUOT 112,
// EPIPE/ECONNRESET 109, EAGAIN 231 (busy), EMFILE/ENFILE 4, EBADF 6, EINVAL 87,
// ENAMETOOLONG 206, ENOTEMPTY 145; anything else the errno value itself.
long Win32ErrorFromErrno(int errnoValue);

// The same for the current errno.
long Win32LastErrno();

// A thread-local last error for calls that answer only success or failure.
long GetLastError();
void SetLastError(long errorNumber);

// "Windows NT error number %ld occurred" with the number filled in.
std::string WindowsErrorText(long errorNumber);

}  // namespace tessaro::platform
