// Temporary file names in the Windows form: <prefix up to 3 chars><4 hex digits>.TMP,
// created empty with O_EXCL so the name is reserved.
#pragma once

#include <string>

namespace tessaro::platform {

// $TMPDIR or /tmp, with a trailing '/'.
std::string TempDirectory();

// Creates a new empty file dir/<prefix><XXXX>.TMP and stores its path in *path.
// dir may use '\' or '/'; empty means TempDirectory(). 0 or a Windows error number.
long MakeTempFileName(const std::string& dir, const std::string& prefix, std::string* path);

// Creates a new empty file dir/<prefix><6 random characters>, readable and writable by
// the owner only (0600), and stores its path in *path. dir may use '\' or '/'; separators
// in the prefix become '_'. 0 or a Windows error number.
long CreatePrivateTempFile(const std::string& dir, const std::string& prefix, std::string* path);

}  // namespace tessaro::platform
