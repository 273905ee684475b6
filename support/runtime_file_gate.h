// The one check every file a template feature touches passes (TSINCLUDE,
// TSCONTENT, TSFILE, TSMAIL attachments, TSREPORT and its data files, GetGraphic,
// the file functions): the private files of the running system are never read,
// written or deleted on a template's behalf. They are the registry store and its
// companions (registry.db, -wal, -shm, -journal, other machines' stores), run/,
// scm/, windows/ (with the stored logins), log/, machines/, Mail/ (and the mail
// folder configured elsewhere), tsr/, the engine's own work in tmp/ (everything
// there but the folder handed to templates, tmp/templates/), and the ODBC
// configuration files the engine was started with.
//
// The check goes by real path after symbolic links are resolved, and for single
// files also by file identity, so neither a link nor another name of the same
// file gets through. A path with a zero byte in it is refused outright: the
// system would see only the part before it.
//
// The engine owns one gate and hands it to every road; the folders it learns (the mail
// folder a setting names, for example) are its own, not the process's.
#pragma once

#include <mutex>
#include <string>
#include <vector>

// True when the text holds a zero byte.
bool PathHasNul(const std::string& path);

class CRuntimeFileGate {
public:
    CRuntimeFileGate() = default;
    CRuntimeFileGate(const CRuntimeFileGate&) = delete;
    CRuntimeFileGate& operator=(const CRuntimeFileGate&) = delete;

    // True when path (as the caller will open it) is, or lies in, a private file or
    // folder. A path that cannot be resolved is judged by the part that exists.
    bool IsPrivate(const std::string& path) const;
    // Adds a folder (a trailing '/') or a file to the private ones for the life of
    // the gate.
    void AddPrivatePath(const std::string& path);

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_added;  // folders end with '/'
};

// A gate that learns nothing: the runtime root's own private files, for code that runs
// without an engine behind it (it holds no state of its own).
const CRuntimeFileGate& RootOnlyFileGate();

// The folder of the runtime root that templates may use for their own files
// (GetTempDirectory), with a trailing '/'; created when missing.
std::string TemplateTempDirectory();
