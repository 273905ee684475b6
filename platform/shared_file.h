// Files shared by the engine and the web-server user through the tessaro group:
// created 0660 whatever the process umask is.
#pragma once

#include <string>

namespace tessaro::platform {

constexpr unsigned kSharedFileMode = 0660;
constexpr unsigned kSharedDirectoryMode = 0770;

// Opens path with flags (O_CLOEXEC is added); when O_CREAT is among them and the
// file is created by this call, it gets kSharedFileMode. -1 with the reason in Win32LastErrno().
int OpenShared(const std::string& path, int flags);

// Appends data with a single write() to path (created when missing). False on failure.
bool AppendShared(const std::string& path, const std::string& data);

// Appends data with a single write() to path only when the file exists. False otherwise.
bool AppendToExisting(const std::string& path, const std::string& data);

// Creates path (kSharedFileMode) when it is missing; an existing file is left as it is.
bool TouchShared(const std::string& path);

}  // namespace tessaro::platform
