// Questions about files by name, and the few whole-file changes the product
// makes outside a stream: create, write whole, remove, change mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaro::platform {

enum class FileKind { Missing, Directory, Regular, Other };

// What path names, following symbolic links (Missing also when it cannot be examined).
FileKind GetFileKind(const std::string& path);

// The size of a plain file (0 for anything else or when it cannot be examined).
std::uint64_t RegularFileSize(const std::string& path);

// The size of a plain file the process can open for reading, 0 otherwise; a FIFO
// is looked at without waiting for a writer.
std::uint64_t ReadableFileSize(const std::string& path);

// Every failure below is told as a Windows error number: the answer itself where the call
// answers a number, else Win32LastErrno() right after the call.

// Creates path as a new empty file with mode (refused, ERROR_FILE_EXISTS, when it exists).
// ERROR_SUCCESS or the Windows number of the failure.
long CreateNewFile(const std::string& path, unsigned mode);

// Opens path for writing, created with mode when missing and emptied when it exists.
// A symbolic link in the last component is refused. The descriptor, or -1.
int OpenForOverwrite(const std::string& path, unsigned mode);

// Opens an existing file for reading. The descriptor, or -1.
int OpenForReading(const std::string& path);

// Writes n bytes at the start of path (created 0660 when missing); the rest of an
// existing file is kept when keepRest, else cut off. ERROR_SUCCESS or the Windows number of
// the failure.
long WriteFileFromStart(const std::string& path, const void* data, std::size_t n, bool keepRest);

// Removes a file. ERROR_SUCCESS, or the Windows number (ERROR_FILE_NOT_FOUND when there was
// nothing to remove).
long RemoveFile(const std::string& path);

// Removes an empty folder. ERROR_SUCCESS, or the Windows number.
long RemoveEmptyDirectory(const std::string& path);

// The last change time of a file in seconds since 1970 (UTC); false when it cannot be examined.
bool FileTimeSeconds(const std::string& path, std::int64_t* seconds);

// Sets the permission bits of path; false on failure.
bool SetFileMode(const std::string& path, unsigned mode);

// True when every change of folder's entries reaches a watch of this process: a local file
// system. On others (network file systems) another machine may change a folder unseen.
bool ChangesAreAllSeen(const std::string& folder);

}  // namespace tessaro::platform
