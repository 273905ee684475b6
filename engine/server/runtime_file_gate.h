// The one check every file a template feature touches passes (TSINCLUDE,
// TSCONTENT, TSFILE, GetGraphic, the file functions): the runtime root's private
// files are never read, written or deleted on a template's behalf. They are the
// registry store and its companions (registry.db, -wal, -shm, -journal, other
// machines' stores), run/, scm/, windows/ (with the stored logins) and log/.
//
// The check goes by real path after symbolic links are resolved, and for the
// store files also by file identity, so neither a link nor another name of the
// same file gets through.
#pragma once

#include <string>

// True when path (as the caller will open it) is, or lies in, a private file or
// folder of the runtime root. A path that cannot be resolved is judged by the
// part that exists.
bool IsRuntimePrivateFile(const std::string& path);
