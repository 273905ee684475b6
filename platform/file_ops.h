// Whole-file operations for template file actions: moving, copying, deleting,
// exclusive creation, times and a line written or read whole. Every call answers
// 0 or a Windows error number (see win32_error.h); paths may use '\' or '/'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace tessaro::platform {

// A file larger than the caller allows (Windows ERROR_FILE_TOO_LARGE).
constexpr long ERROR_FILE_TOO_LARGE = 223;

// Mode of files the template file actions create: owner read/write, group read.
constexpr unsigned kTemplateFileMode = 0640;

struct FileStatus {
    bool isDirectory = false;
    std::uint64_t size = 0;
    std::time_t created = 0;  // birth time when the file system keeps one, else change time
    std::time_t modified = 0;
    std::time_t accessed = 0;
};

// Judges a file once it is open, by the real path of what was opened (never a
// link): false refuses it (5) before a byte is read or written. An empty check
// allows every file.
using OpenedFileCheck = std::function<bool(const std::string& realPath)>;

// Follows symbolic links. 2 when nothing is there.
long GetFileStatus(const std::string& path, FileStatus* status);

// Renames from to to, replacing a file there; across file systems the data is
// copied beside to, renamed over it, and from removed. With a check, from must be
// a regular file, not a link, and pass the check (5 otherwise).
long MoveFileReplacing(const std::string& from, const std::string& to, const OpenedFileCheck& check = {});

// Copies from to to, replacing a file there; the copy is written beside to and
// renamed over it, so to is never seen half written. With a check, from is opened
// without following a link in its last component, must be a regular file and
// pass the check (5 otherwise).
long CopyFileReplacing(const std::string& from, const std::string& to, const OpenedFileCheck& check = {});

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
// first unless append. The write holds an exclusive advisory lock. A link in the
// last component, or anything but a regular file there, is refused (5), and so is
// a file the check refuses, before it is changed.
long WriteTextFile(const std::string& path, const std::string& text, bool append, const OpenedFileCheck& check = {});

// Reads the whole regular file at path.
long ReadWholeFile(const std::string& path, std::string* bytes);

// Reads the regular file at path without following a link in its last component
// and without waiting on a FIFO: 5 for a link, anything but a regular file or a
// file the check refuses; ERROR_FILE_TOO_LARGE (nothing kept) when it holds more
// than limit bytes.
long ReadCheckedFile(const std::string& path, std::size_t limit, const OpenedFileCheck& check, std::string* bytes);

// The real path of an open descriptor ("" when it cannot be told).
std::string DescriptorPath(int fd);

}  // namespace tessaro::platform
