#include "platform/framework_exception.h"

#include <cerrno>

#include "platform/win32_error.h"

namespace {

const char* const kCauseTexts[] = {
    "No error occurred.",
    "An unspecified error occurred.",
    "A file could not be located.",
    "All or part of the path is invalid.",
    "The permitted number of open files was\texceeded.",
    "The file could not be accessed.",
    "The was an attempt to use an invalid file handle.",
    "The current working directory cannot be removed.",
    "There are no more directory entries.",
    "There was an error trying to set the file pointer.",
    "There was a hardware error.",
    "There was a sharing violation.",
    "There was an attempt to lock a region that was already locked.",
    "The disk is full.",
    "The end of file was reached.",
};

}  // namespace

std::string GetFileExceptionText(int cause) {
    if (cause < 0 || cause >= static_cast<int>(sizeof kCauseTexts / sizeof kCauseTexts[0])) return std::string();
    return kCauseTexts[cause];
}

std::string CFileException::GetErrorMessage() const {
    return GetFileExceptionText(m_cause);
}

int CFileException::CauseFromErrno(int e) {
    switch (e) {
        case 0:
            return none;
        case ENOENT:
            return fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return badPath;
        case EMFILE:
        case ENFILE:
            return tooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return accessDenied;
        case EBADF:
            return invalidFile;
        case EBUSY:
            return removeCurrentDir;
        case ESPIPE:
            return badSeek;
        case EIO:
            return hardIO;
        case ETXTBSY:
            return sharingViolation;
        case EDEADLK:
        case ENOLCK:
            return lockViolation;
        case ENOSPC:
        case EDQUOT:
            return diskFull;
        default:
            return genericException;
    }
}

int CFileException::CauseFromLastError() {
    return CauseFromErrno(errno);
}

int CFileException::CauseFromWindowsError(long error) {
    using namespace tessaro::platform;
    switch (error) {
        case ERROR_SUCCESS:
            return none;
        case ERROR_FILE_NOT_FOUND:
            return fileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return badPath;
        case ERROR_TOO_MANY_OPEN_FILES:
            return tooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
            return accessDenied;
        case ERROR_INVALID_HANDLE:
            return invalidFile;
        case ERROR_SHARING_VIOLATION:
            return sharingViolation;
        case ERROR_LOCK_VIOLATION:
            return lockViolation;
        case ERROR_DISK_FULL:
            return diskFull;
        case ERROR_IO_DEVICE:
            return hardIO;
        case ERROR_HANDLE_EOF:
            return endOfFile;
        default:
            return genericException;
    }
}
