#include "support/temp_file.h"

#include <cerrno>

#include "platform/file_system.h"
#include "platform/framework_exception.h"
#include "platform/path_util.h"
#include "platform/temp_file.h"
#include "platform/win32_error.h"

namespace plat = tessaro::platform;

std::string NewTempFileName() {
    std::string path;
    long err = plat::MakeTempFileName(std::string(), "BTS", &path);
    if (err != plat::ERROR_SUCCESS) throw new CFileException(CFileException::badPath, err);
    return path;
}

std::string CreateTempFile(const std::string& dir, const std::string& prefix, const std::string& ext) {
    std::string extension = ext;
    while (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::string placeholder;
        long err = plat::MakeTempFileName(dir, prefix, &placeholder);
        if (err != plat::ERROR_SUCCESS) throw new CFileException(CFileException::CauseFromWindowsError(err), err);
        // The placeholder reserves the stem; the file wanted carries the extension.
        std::string wanted = extension.empty() ? placeholder.substr(0, placeholder.size() - 4)
                                               : placeholder.substr(0, placeholder.size() - 3) + extension;
        if (wanted == placeholder) return placeholder;  // the extension is "TMP" itself
        const long openError = plat::CreateNewFile(wanted, 0660);
        if (long removeError = plat::RemoveFile(placeholder); removeError != plat::ERROR_SUCCESS) {
            if (openError == plat::ERROR_SUCCESS) plat::RemoveFile(wanted);
            throw new CFileException(CFileException::accessDenied, removeError, placeholder);
        }
        if (openError == plat::ERROR_SUCCESS) return wanted;
        if (openError != plat::ERROR_FILE_EXISTS)
            throw new CFileException(CFileException::CauseFromWindowsError(openError), openError, wanted);
    }
    throw new CFileException(CFileException::genericException);
}
