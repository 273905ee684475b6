// Whole-file operations for template file actions: moving, copying, deleting,
// exclusive creation, times and a line written or read whole. Every call answers
// 0 or a Windows error number (see win32_error.h); paths may use '\' or '/'.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tessaro::platform {

// Mode of files the template file actions create: owner read/write, group read.
constexpr unsigned kTemplateFileMode = 0640;

struct FileStatus {
    bool isDirectory = false;
    std::uint64_t size = 0;
    std::time_t created = 0;  // birth time when the file system keeps one, else change time
    std::time_t modified = 0;
    std::time_t accessed = 0;
};

// Follows symbolic links. 2 when nothing is there.
long GetFileStatus(const std::string& path, FileStatus* status);

// Renames from to to, replacing a file there; across file systems the data is
// copied beside to, renamed over it, and from removed.
long MoveFileReplacing(const std::string& from, const std::string& to);

// Copies from to to, replacing a file there; the copy is written beside to and
// renamed over it, so to is never seen half written.
long CopyFileReplacing(const std::string& from, const std::string& to);

// Creates path empty (kTemplateFileMode) only when no file of that name exists:
// O_EXCL, so neither a race nor an unreadable file of that name is overwritten.
// 80 when the name exists.
long ReserveNewFile(const std::string& path);

// Creates a new empty file dir/<prefix><8 random hex digits>[.ext] as
// ReserveNewFile does, the digits from the system's random source; up to 10
// names are tried. The chosen path goes to *path.
long ReserveUniqueFile(const std::string& dir, const std::string& prefix, const std::string& ext, std::string* path);

// Replaces the contents of the existing file to with those of from.
long CopyFileData(const std::string& from, const std::string& to);

long DeleteFileAt(const std::string& path);

// Writes text to path (created kTemplateFileMode when missing), truncating it
// first unless append. The write holds an exclusive advisory lock.
long WriteTextFile(const std::string& path, const std::string& text, bool append);

// Reads the whole regular file at path.
long ReadWholeFile(const std::string& path, std::string* bytes);

}  // namespace tessaro::platform
