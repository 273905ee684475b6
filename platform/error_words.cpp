#include "platform/error_words.h"

#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

struct ErrorWordsEntry {
    long number;
    const char* words;
};

// The numbers the service manager, the pipe, the files and the gateway report.
constexpr ErrorWordsEntry kErrorWords[] = {
    {ERROR_INVALID_FUNCTION, "the function is not supported"},
    {ERROR_FILE_NOT_FOUND, "the file was not found"},
    {ERROR_PATH_NOT_FOUND, "the path was not found"},
    {ERROR_TOO_MANY_OPEN_FILES, "too many files are open"},
    {ERROR_ACCESS_DENIED, "access is denied"},
    {ERROR_INVALID_HANDLE, "the handle is not valid"},
    {ERROR_NOT_ENOUGH_MEMORY, "not enough memory"},
    {ERROR_INVALID_DATA, "the data is not valid"},
    {ERROR_GEN_FAILURE, "the program could not be started"},
    {ERROR_SHARING_VIOLATION, "the file is in use by another process"},
    {ERROR_FILE_EXISTS, "the file exists"},
    {ERROR_INVALID_PARAMETER, "a parameter is not valid"},
    {ERROR_BROKEN_PIPE, "the other end closed the connection"},
    {ERROR_DISK_FULL, "the disk is full"},
    {ERROR_INVALID_NAME, "the name is not valid"},
    {ERROR_MOD_NOT_FOUND, "the library was not found"},
    {ERROR_PROC_NOT_FOUND, "the procedure was not found"},
    {ERROR_ALREADY_EXISTS, "it exists already"},
    {ERROR_BAD_EXE_FORMAT, "the file is not a library or program this system can load"},
    {ERROR_FILENAME_EXCED_RANGE, "the name is too long"},
    {ERROR_PIPE_BUSY, "the engine's pipe is busy"},
    {ERROR_PIPE_NOT_CONNECTED, "the other end is not connected"},
    {WAIT_TIMEOUT_ERROR, "the wait timed out"},
    {ERROR_INVALID_SERVICE_CONTROL, "the service does not accept that control"},
    {ERROR_SERVICE_REQUEST_TIMEOUT, "the service did not answer in time"},
    {ERROR_SERVICE_ALREADY_RUNNING, "the service is running already"},
    {ERROR_SERVICE_DOES_NOT_EXIST, "the service does not exist"},
    {ERROR_SERVICE_NOT_ACTIVE, "the service is not running"},
    {ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, "the program was not started by the service manager"},
    {ERROR_SERVICE_LOGON_FAILED, "the service cannot run as the account it was installed for"},
    {ERROR_IO_DEVICE, "an input or output error of the device"},
    {ERROR_SERVICE_MARKED_FOR_DELETE, "the service is marked for removal"},
    {ERROR_SERVICE_EXISTS, "the service is installed already"},
    {ERROR_SHUTDOWN_IN_PROGRESS, "the system is shutting down"},
    {ERROR_NONE_MAPPED, "no such account or group"},
    {RPC_S_SERVER_UNAVAILABLE, "the machine cannot be reached"},
};

}  // namespace

const char* ErrorWords(long errorNumber) {
    for (const ErrorWordsEntry& entry : kErrorWords)
        if (entry.number == errorNumber) return entry.words;
    return nullptr;
}

std::string ErrorNumberWithWords(long errorNumber) {
    std::string text = std::to_string(errorNumber);
    if (const char* words = ErrorWords(errorNumber)) text += std::string(" (") + words + ")";
    return text;
}

}  // namespace tessaro::platform
