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
#pragma once

#include <string>

// True when the text holds a zero byte.
bool PathHasNul(const std::string& path);

// True when path (as the caller will open it) is, or lies in, a private file or
// folder. A path that cannot be resolved is judged by the part that exists.
bool IsRuntimePrivateFile(const std::string& path);

// Adds a folder (a trailing '/') or a file to the private ones for the life of
// the process (the mail folder a setting names, for example).
void AddRuntimePrivatePath(const std::string& path);

// The folder of the runtime root that templates may use for their own files
// (GetTempDirectory), with a trailing '/'; created when missing.
std::string TemplateTempDirectory();
