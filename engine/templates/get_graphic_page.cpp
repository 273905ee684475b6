#include "engine/templates/get_graphic_page.h"

#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"
#include "platform/temp_file.h"
#include "support/file_helpers.h"
#include "support/html_escape.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

constexpr const char* kImageExtensions[] = {".GIF", ".JPG", ".JPEG", ".PNG"};

}  // namespace

std::string GraphicDirectory() { return tessaro::platform::TempDirectory() + "tsr/"; }

bool IsServableGraphicName(const std::string& name) {
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name.find("..") != std::string::npos)
        return false;
    std::string upper = UpperCopy(name);
    for (const char* ext : kImageExtensions) {
        std::string e(ext);
        if (upper.size() > e.size() && upper.compare(upper.size() - e.size(), e.size(), e) == 0) return true;
    }
    return false;
}

void CGetGraphicPage::Run() {
    std::string name = GetReader()->GetUrlParameter("FILE");
    if (name.empty())
        throw new CWebException("FILE parameter not specified for GetGraphic action",
                                "The FILE URL parameter is required when using the GetGraphic action.");
    // Only a plain image name: the same folder holds the report hand-off files
    // (with data-source credentials), and whatever is served is deleted.
    if (!IsServableGraphicName(name))
        throw new CWebException("Error in GetGraphic action",
                                "The graphic file name '" + HtmlEscape(name) +
                                    "' is not valid.<P>Only the name of a GIF, JPEG or PNG file produced by a report "
                                    "may be given.");
    std::string path = GraphicDirectory() + name;
    if (!FileExists(path))
        throw new CWebException("Error in GetGraphic action",
                                "The graphic file '" + HtmlEscape(path) +
                                    "' was not found.<P>Please verify that this file exists and is accessible to the "
                                    "Tessaro service.");
    std::string upper = UpperCopy(name);
    bool jpeg = upper.compare(upper.size() - 4, 4, ".JPG") == 0 || upper.compare(upper.size() - 5, 5, ".JPEG") == 0;
    const char* type = jpeg ? "image/jpeg" : "image/gif";
    GetWriter()->ReplyWithFile(type, path, true);
    SetRan(false);
}
