#include "engine/templates/pages/get_graphic_page.h"

#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "platform/home.h"
#include "platform/private_file.h"
#include "platform/win32_error.h"

namespace {

struct ImageType {
    const char* extension;
    const char* contentType;
};
constexpr ImageType kImageTypes[] = {
    {".GIF", "image/gif"}, {".JPG", "image/jpeg"}, {".JPEG", "image/jpeg"}, {".PNG", "image/png"}};

const ImageType* ImageTypeOf(const std::string& name) {
    std::string upper = UpperCopy(name);
    for (const ImageType& type : kImageTypes) {
        std::string e(type.extension);
        if (upper.size() > e.size() && upper.compare(upper.size() - e.size(), e.size(), e) == 0) return &type;
    }
    return nullptr;
}

}  // namespace

std::string GraphicDirectory() {
    return tessaro::platform::HomePath("tsr") + "/";
}

bool IsServableGraphicName(const std::string& name) {
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name.find("..") != std::string::npos ||
        name.find('\0') != std::string::npos)
        return false;
    return ImageTypeOf(name) != nullptr;
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
                                CWebMessage("The graphic file name '") + name +
                                    "' is not valid.<P>Only the name of a GIF, JPEG or PNG file produced by a report "
                                    "may be given.");
    // The report work folder belongs to the engine alone (0700): no other user can
    // plant a file or a link there.
    std::string directory = GraphicDirectory();
    if (long error = tessaro::platform::EnsurePrivateDirectory(tessaro::platform::HomePath("tsr")); error != 0) {
        throw new CWebException("Error in GetGraphic action",
                                CWebMessage("Windows NT error number ") + std::to_string(error) +
                                    " occurred while attempting to get the temporary directory location.");
    }
    std::string path = directory + name;
    std::string bytes;
    // Only a file the engine's user made there (the report server runs as that user):
    // its owner and mode are checked, besides the link and the kind.
    if (tessaro::platform::ReadOwnFileNoFollow(path, &bytes) != 0)
        throw new CWebException("Error in GetGraphic action",
                                CWebMessage("The graphic file '") + path +
                                    "' was not found.<P>Please verify that this file exists and is accessible to the "
                                    "Tessaro service.");
    // Served once: the report left it for this one reply.
    std::remove(path.c_str());
    CReplyWriter* writer = GetWriter();
    writer->BeginOutput();
    writer->SetContentType(ImageTypeOf(name)->contentType);
    writer->AddHeader("Content-length: " + std::to_string(bytes.size()) + "\n");
    writer->GetCurrentChannel()->Write(bytes.data(), bytes.size());
    SetRan(false);
}
