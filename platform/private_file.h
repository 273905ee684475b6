// Files that only this process's user may reach: a folder kept at mode 0700, and
// a read that never follows a symbolic link, so a link planted in such a folder
// cannot point the reader at another file.
#pragma once

#include <string>

namespace tessaro::platform {

// Creates path (and missing parents, 0770) with mode 0700, or sets that mode on
// an existing folder of this user. A symbolic link in its place is refused (5).
// 0 or a Windows error number.
long EnsurePrivateDirectory(const std::string& path);

// Reads the whole regular file at path without following a symbolic link in its
// last component. 0, 2 (missing), 5 (a link, a folder or anything not a regular
// file) or another Windows error number.
long ReadRegularFileNoFollow(const std::string& path, std::string* bytes);

// As ReadRegularFileNoFollow, for a file this process's user made: it must belong to
// that user, not be writable by every user and have a single name; anything else is 5.
long ReadOwnFileNoFollow(const std::string& path, std::string* bytes);

}  // namespace tessaro::platform
