// Files and folders opened once, by descriptor, and judged by what was opened: the
// real path the system gives for the descriptor, the object's identity (device and
// inode) and the identities of the folders that hold it. Every later step acts on
// the descriptors (a name inside a judged folder, never the path again), so a folder
// of the path swapped for a link after the judgement changes nothing.
//
// Links on the way to the folder are followed: the folder reached is judged, not
// the names that led there. A link in the last component is never followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessaro::platform {

// A file larger than the caller allows (Windows ERROR_FILE_TOO_LARGE).
constexpr long ERROR_FILE_TOO_LARGE = 223;
// Something other than a regular file (a device, a FIFO, a socket, a link, a folder) stands
// where a regular file is to be replaced (Windows ERROR_BAD_FILE_TYPE).
constexpr long ERROR_BAD_FILE_TYPE = 222;

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What tells one version of a file from the next: its identity, size and last modification
// (to the nanosecond where the file system keeps it).
struct FileStamp {
    FileIdentity identity;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// What a descriptor holds, as a check sees it.
struct OpenedObject {
    std::string realPath;  // "" when the system cannot tell it
    FileIdentity identity;
    bool isDirectory = false;
    bool isRegular = false;
    std::uint64_t links = 0;          // names of the file
    bool onKernelFileSystem = false;  // /proc, /sys, /dev/pts and their kind: the kernel's own files
    // The folders that hold it, innermost first, up to the root of the file system.
    std::vector<FileIdentity> folders;
};

// Judges an opened object: false refuses it (5) before anything is read, written,
// created, moved or removed. An empty check allows every object.
using OpenedObjectCheck = std::function<bool(const OpenedObject&)>;

// The identity of what path names now, links followed; false when it cannot be examined.
bool PathIdentity(const std::string& path, FileIdentity* identity);

// Calls visit with the identity of every entry in folder (links not followed;
// sub-folders entered when recursive), until visit answers false or limit entries
// were seen. False when the walk stopped early (visit said so, or the limit was
// reached); a folder that cannot be read has nothing to visit.
bool VisitFolderEntries(const std::string& folder, std::size_t limit,
                        const std::function<bool(const FileIdentity&)>& visit, bool recursive = true);

enum class FileAccess {
    Read,    // an existing regular file, for reading
    Write,   // a regular file for writing, created (mode) when missing
    Append,  // the same, every write at its end
    Name,    // an existing entry that is not a folder (a link is the link itself), to move or remove
};

class CheckedFile;

struct CheckedOpening;

class CheckedFolder {
public:
    CheckedFolder() = default;
    ~CheckedFolder();
    CheckedFolder(CheckedFolder&& other) noexcept;
    CheckedFolder& operator=(CheckedFolder&& other) noexcept;
    CheckedFolder(const CheckedFolder&) = delete;
    CheckedFolder& operator=(const CheckedFolder&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    // The path it was opened by ('/' separators).
    const std::string& Path() const { return m_path; }

private:
    friend struct CheckedOpening;
    int m_fd = -1;
    std::string m_path;
};

// Opens the folder at path ('\' or '/') and judges it. 2 or 3 when it is missing,
// 5 when it is no folder or the check refuses it.
long OpenCheckedFolder(const std::string& path, const OpenedObjectCheck& check, CheckedFolder* folder);

class CheckedFile {
public:
    CheckedFile() = default;
    ~CheckedFile();
    CheckedFile(CheckedFile&& other) noexcept;
    CheckedFile& operator=(CheckedFile&& other) noexcept;
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    const CheckedFolder& Folder() const { return m_folder; }
    // The last component of the path it was opened by.
    const std::string& Name() const { return m_name; }
    const FileIdentity& Identity() const { return m_identity; }
    bool IsRegular() const { return m_regular; }
    // The size now (0 when it cannot be examined).
    std::uint64_t Size() const;
    // Its stamp now; false when it cannot be examined.
    bool Stamp(FileStamp* stamp) const;
    // Its stamp as its opening found it.
    const FileStamp& OpenedStamp() const { return m_openedStamp; }

    // The whole file from its start; ERROR_FILE_TOO_LARGE (nothing kept) past limit bytes.
    long ReadAll(std::size_t limit, std::string* bytes) const;
    // The same for a file nobody writes through this handle: the bytes up to the size its
    // opening found (a file that grows meanwhile is read as it was then), without a last read
    // that only finds the end. A file opened at size 0 is read to its end.
    long ReadAsOpened(std::size_t limit, std::string* bytes) const;
    // Up to n bytes from offset: the count read (0 at the end), or -1 with the reason in
    // Win32LastErrno().
    long ReadAt(std::uint64_t offset, void* buffer, std::size_t n) const;
    // Removes the name it was opened by from its folder, when that name still is this
    // file (0 also when the name is gone already).
    long RemoveName() const;
    // Closes the file now, so that a failing close is seen (0 or the error); the folder stays open.
    long Close();

private:
    friend struct CheckedOpening;
    void Release();
    CheckedFolder m_folder;
    int m_fd = -1;
    std::string m_name;
    FileIdentity m_identity;
    bool m_regular = false;
    FileStamp m_openedStamp;
};

// Opens the file at path ('\' or '/'): its folder is opened and judged, then the last
// component inside it, never through a link there and without waiting on a FIFO, and
// what was opened is judged. 2 or 3 when missing; 5 for a link, a folder, anything but
// a regular file (except for Name) or what the check refuses. A file that Write or
// Append made and the check refuses is taken away again.
long OpenCheckedFile(const std::string& path, FileAccess access, const OpenedObjectCheck& check, CheckedFile* file,
                     unsigned mode = 0640);

// Judges what stands under name in folder before it is replaced or made there: the entry
// itself when there is one (a link is the link), else the file that would be made, by its
// path (a private file that does not exist yet, such as an ODBC file, is not made). 5 when
// the check refuses; ERROR_BAD_FILE_TYPE, whatever the check, when the entry is anything
// but a regular file.
long CheckEntryIn(const CheckedFolder& folder, const std::string& name, const OpenedObjectCheck& check);

// Puts the entry from of folder under name, replacing what stands there only when it is a
// regular file the check allows (ERROR_BAD_FILE_TYPE or 5 otherwise). The object replaced is
// judged as the rename finds it: the two names change places in one step, what left name is
// judged by descriptor and, when refused, changes back untouched. A file system that cannot
// exchange names replaces what was judged a moment before. from is gone afterwards either
// way; an object that was under name is never removed unless it was judged.
long ReplaceEntryIn(const CheckedFolder& folder, const std::string& from, const std::string& name,
                    const OpenedObjectCheck& check);

// The same for the entry name of a folder opened before (the folder is not judged again).
long OpenCheckedFileIn(const CheckedFolder& folder, const std::string& name, FileAccess access,
                       const OpenedObjectCheck& check, CheckedFile* file, unsigned mode = 0640);

}  // namespace tessaro::platform
