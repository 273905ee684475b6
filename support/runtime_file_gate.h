// The one check every file a template feature touches passes (TSINCLUDE, TSERROR,
// TSCONTENT, TSFILE, TSMAIL attachments, TSREPORT and its data files, GetGraphic,
// the file functions): the private files of the running system are never read,
// written, created or deleted on a template's behalf. What is private is said once,
// in platform/runtime_private_files.h, for every program that opens such files.
//
// The path form answers questions asked before a file is opened (a message, a file
// test); every road then opens the file once with the gate's Check(), which judges what
// was really opened, by real path and by identity. The engine owns one gate and hands it
// to every road; the paths it learns (the mail folder a setting names) are its own, not
// the process's.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/checked_file.h"

// True when the text holds a zero byte.
bool PathHasNul(const std::string& path);

class CRuntimeFileGate {
public:
    CRuntimeFileGate();
    CRuntimeFileGate(const CRuntimeFileGate&) = delete;
    CRuntimeFileGate& operator=(const CRuntimeFileGate&) = delete;

    // True when path (as the caller will open it) is, or lies in, a private file or
    // folder. A path that cannot be resolved is judged by the part that exists.
    bool IsPrivate(const std::string& path) const;
    // True when path names (links followed) something that is there, no folder, and not
    // private: what FileExists and IsPrivate answer together, from one look.
    bool IsNonPrivateFile(const std::string& path) const;
    // The check for the opener (platform/checked_file.h): refuses a private file or folder.
    const tessaro::platform::OpenedObjectCheck& Check() const { return m_check; }
    // Adds a folder (a trailing '/') or a file to the private ones for the life of
    // the gate.
    void AddPrivatePath(const std::string& path);

private:
    std::vector<std::string> Added() const;

    mutable std::mutex m_mutex;
    std::vector<std::string> m_added;  // folders end with '/'
    tessaro::platform::OpenedObjectCheck m_check;
};

// A gate that learns nothing: the runtime root's own private files, for code that runs
// without an engine behind it (it holds no state of its own).
const CRuntimeFileGate& RootOnlyFileGate();

// The folder of the runtime root that templates may use for their own files
// (GetTempDirectory), with a trailing '/'; created when missing.
std::string TemplateTempDirectory();
