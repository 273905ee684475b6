#include "platform/win32_error.h"

#include <cerrno>
#include <cstdio>

namespace tessaro::platform {

long Win32ErrorFromErrno(int e) {
    switch (e) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:  // a folder opened as a file
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EPIPE:
        case ECONNRESET:
            return ERROR_BROKEN_PIPE;
        case EAGAIN:
            return ERROR_PIPE_BUSY;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EIO:  // its own number would read as "access denied"
            return ERROR_IO_DEVICE;
        default:
            return e;
    }
}

long Win32LastErrno() {
    return Win32ErrorFromErrno(errno);
}

namespace {
thread_local long t_lastError = 0;
}

long GetLastError() {
    return t_lastError;
}
void SetLastError(long errorNumber) {
    t_lastError = errorNumber;
}

std::string WindowsErrorText(long errorNumber) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Windows NT error number %ld occurred", errorNumber);
    return buffer;
}

}  // namespace tessaro::platform
