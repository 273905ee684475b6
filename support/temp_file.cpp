#include "support/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
        if (wanted == placeholder) return placeholder;   // the extension is "TMP" itself
        int fd = ::open(wanted.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0660);
        long openError = fd < 0 ? plat::Win32LastErrno() : plat::ERROR_SUCCESS;
        int openErrno = errno;
        if (fd >= 0) ::close(fd);
        if (::unlink(placeholder.c_str()) != 0) {
            if (fd >= 0) ::unlink(wanted.c_str());
            throw new CFileException(CFileException::accessDenied, plat::Win32LastErrno(), placeholder);
        }
        if (fd >= 0) return wanted;
        if (openErrno != EEXIST) throw new CFileException(CFileException::CauseFromErrno(openErrno), openError, wanted);
    }
    throw new CFileException(CFileException::genericException);
}
