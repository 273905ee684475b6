// Whether a template file lies inside the template roots: the physical folders
// mapped under "Templates" (and the folder of the requested template, which the
// web server itself chose). Judged by real path after symbolic links, so no
// spelling of ".." and no link climbs out.
#pragma once

#include <string>
#include <vector>

bool IsInsideTemplateRoots(const std::string& path, const std::vector<std::string>& roots);
