// Whether a template file lies inside the template roots: the physical folders
// mapped under "Templates" (and the folder of the requested template, which the
// web server itself chose). Judged by real path after symbolic links, so no
// spelling of ".." and no link climbs out.
#pragma once

#include <string>
#include <vector>

#include "platform/checked_file.h"

class CRuntimeFileGate;

bool IsInsideTemplateRoots(const std::string& path, const std::vector<std::string>& roots);

// The same judgement for a template once it is opened, by the identities of the folders
// that hold it (a folder swapped for a link after the path was judged leads elsewhere),
// together with the private-file gate files (not owned; it outlives the check).
tessaro::platform::OpenedObjectCheck InsideTemplateRootsCheck(const std::vector<std::string>& roots,
                                                              const CRuntimeFileGate& files);
