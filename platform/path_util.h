// Path conventions of the port: input paths may use '\' or '/', the disk uses '/'.
// Where the system upper-cases a physical path, the real file is found
// case-insensitively, component by component.
#pragma once

#include <string>
#include <string_view>

#include "platform/ascii_text.h"

namespace tessaro::platform {

// Every '\' becomes '/'.
std::string ToUnixPath(std::string_view path);

// When path exists as given it is returned (with '/' separators). Otherwise each
// component that does not exist is looked up case-insensitively in its parent
// folder; the first match (in directory order, exact names preferred) is used.
// Components that match nothing are kept as given, so a file about to be
// created keeps its name inside the resolved folder.
std::string ResolvePathNoCase(std::string_view path);

// ResolvePathNoCase's answer, and whether a folder's listing on the way showed that
// nothing of that name is there (a caller that asks next whether it exists need not look).
struct PathOnDisk {
    std::string path;
    bool knownMissing = false;
};
PathOnDisk FindPathNoCase(std::string_view path);
// The same for a name that is usually not there: its folder's listing is asked first, and
// answers either way without a look at the name itself.
PathOnDisk FindRarePathNoCase(std::string_view path);

// Joins a directory and a name with one '/'.
std::string JoinPath(std::string_view directory, std::string_view name);

// The name of the running program without folder and extension ("tsengine").
std::string ProgramName();

}  // namespace tessaro::platform
