#include "engine/server/uploaded_file.h"

#include <cerrno>
#include <unistd.h>

#include "engine/server/server_error_log.h"
#include "platform/win32_error.h"

CUploadedFile::~CUploadedFile() {
    if (TempFilePath.empty()) return;
    if (::unlink(TempFilePath.c_str()) != 0) {
        long number = tessaro::platform::Win32LastErrno();
        LogServerError("Error number " + std::to_string(number) +
                           " occurred while attempting to delete uploaded file '" + TempFilePath + "'.",
                       number);
    }
}
