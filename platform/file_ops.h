// Whole-file operations for template file actions: moving, copying, deleting,
// exclusive creation, times and a line written or read whole. Every call answers
// 0 or a Windows error number (see win32_error.h); paths may use '\' or '/'.
//
// The operations that take a check open what they touch once, through the opener of
// checked_file.h (the folders judged as well as the files), and then act only on those
// descriptors: a folder of a path swapped for a link after the check changes nothing.
// A link in the last component is never followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/checked_file.h"

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

// The status of the entry name of folder itself (a link is the link). 2 when nothing is there.
long GetEntryStatus(const CheckedFolder& folder, const std::string& name, FileStatus* status);

// Moves the regular file from to to, replacing a regular file there. The file judged is the
// file moved: it is linked into to's folder (copied there across file systems), its old name
// removed, and the new name put in place, so to is never seen half written. What stands
// under to's name is judged before anything changes (CheckEntryIn) and again as the rename
// replaces it (ReplaceEntryIn): a device, a FIFO, a socket, a link or a folder there is never
// replaced (ERROR_BAD_FILE_TYPE).
long MoveFileReplacing(const std::string& from, const std::string& to, const OpenedObjectCheck& check = {});

// Copies the regular file from to to, replacing a regular file there; the copy is written
// beside to and renamed over it, so to is never seen half written. What stands under to's
// name is judged as for a move.
long CopyFileReplacing(const std::string& from, const std::string& to, const OpenedObjectCheck& check = {});

// Removes the file (or link) at path; a folder is refused (5).
long DeleteCheckedFile(const std::string& path, const OpenedObjectCheck& check);

// Creates a new empty file dir/<prefix><6 random characters> of mode 0600 in the folder
// dir, judged first; up to 10 names are tried. The chosen path goes to *path.
long CreateUniqueFileIn(const std::string& dir, const std::string& prefix, const OpenedObjectCheck& check,
                        std::string* path);

// Copies the process's own regular file from into folder under name (kTemplateFileMode),
// written beside it first: with replace a file of that name is replaced, without it the
// name is taken only when free (80 otherwise, nothing changed: neither a race nor a file
// of that name this process cannot read is overwritten).
// What stands under name is judged as for a move.
long SaveCopyInFolder(const std::string& from, const CheckedFolder& folder, const std::string& name, bool replace,
                      const OpenedObjectCheck& check);

// The same under a new name <prefix><8 random hex digits>[.ext], the digits from the
// system's random source (up to 10 names are tried); the name chosen goes to *name.
long SaveCopyUnderUniqueName(const std::string& from, const CheckedFolder& folder, const std::string& prefix,
                             const std::string& ext, std::string* name);

// Writes text to path (created kTemplateFileMode when missing), truncating it
// first unless append. The write holds an exclusive advisory lock. A link in the
// last component, or anything but a regular file there, is refused (5), and so is
// a file the check refuses, before it is changed.
long WriteTextFile(const std::string& path, const std::string& text, bool append, const OpenedObjectCheck& check = {});

// Reads the whole regular file at path.
long ReadWholeFile(const std::string& path, std::string* bytes);

// Reads the regular file at path without following a link in its last component
// and without waiting on a FIFO: 5 for a link, anything but a regular file or a
// file the check refuses; ERROR_FILE_TOO_LARGE (nothing kept) when it holds more
// than limit bytes.
long ReadCheckedFile(const std::string& path, std::size_t limit, const OpenedObjectCheck& check, std::string* bytes);
// The same, with the stamp of the file read as its opening found it (before its bytes).
long ReadCheckedFile(const std::string& path, std::size_t limit, const OpenedObjectCheck& check, std::string* bytes,
                     FileStamp* stamp);

}  // namespace tessaro::platform
