#include "engine/templates/core/tag_file_path.h"

#include "support/runtime_file_gate.h"
#include "support/web_exception.h"

void CheckTagFilePath(const std::string& path, const CWebMessage& title) {
    // Before any other check: the system would see only the text before a zero byte.
    if (PathHasNul(path))
        throw new CWebException(
            title, CWebMessage("The path, '<i>") + path + "</i>', is illegal. A path cannot hold a zero byte.");
    if (path.find("..") != std::string::npos || path.find("//") != std::string::npos ||
        path.find("\\\\") != std::string::npos)
        throw new CWebException(title, CWebMessage("The path, '<i>") + path +
                                           "</i>', is illegal.Path specifications cannot include any of the "
                                           "following sequences of characters: '..', '//', or '\\\\'.");
}
