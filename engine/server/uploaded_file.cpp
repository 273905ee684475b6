#include "engine/server/uploaded_file.h"

#include "engine/server/server_error_log.h"
#include "platform/file_system.h"
#include "platform/win32_error.h"

CUploadedFile::~CUploadedFile() {
    if (TempFilePath.empty()) return;
    if (long number = tessaro::platform::RemoveFile(TempFilePath); number != tessaro::platform::ERROR_SUCCESS) {
        LogServerError("Error number " + std::to_string(number) +
                           " occurred while attempting to delete uploaded file '" + TempFilePath + "'.",
                       number);
    }
}
