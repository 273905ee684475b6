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
        const int openErrno = plat::CreateNewFile(wanted, 0660);
        const long openError = openErrno != 0 ? plat::Win32ErrorFromErrno(openErrno) : plat::ERROR_SUCCESS;
        if (int removeErrno = plat::RemoveFile(placeholder); removeErrno != 0) {
            if (openErrno == 0) plat::RemoveFile(wanted);
            throw new CFileException(CFileException::accessDenied, plat::Win32ErrorFromErrno(removeErrno), placeholder);
        }
        if (openErrno == 0) return wanted;
        if (openErrno != EEXIST) throw new CFileException(CFileException::CauseFromErrno(openErrno), openError, wanted);
    }
    throw new CFileException(CFileException::genericException);
}
