#include "engine/templates/core/registered_error_page.h"

#include "platform/file_ops.h"
#include "platform/path_util.h"
#include "support/html_escape.h"
#include "support/mapped_file.h"
#include "support/runtime_file_gate.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

void CErrorPageSpec::SetErrorType(const std::string& value) {
    std::string upper = UpperCopy(value);
    if (upper == "VALIDATION") {
        kind = Validation;
    } else if (upper == "REQUEST") {
        kind = Request;
    } else {
        throw new CWebException("Invalid TSERROR Tag",
                                CWebMessage("The value you specified for the TYPE attribute of the TSERROR "
                                            "tag (") +
                                    value +
                                    ") is invalid. The valid TSERROR types are VALIDATION "
                                    "and REQUEST.");
    }
}

namespace {

bool IsEngineHtml(const std::string& key) {
    std::string upper = UpperCopy(key);
    return upper == "#ERROR.DIAGNOSTICS#" || upper == "#ERROR.VALIDATIONHEADER#" || upper == "#ERROR.INVALIDFIELDS#" ||
           upper == "#ERROR.VALIDATIONFOOTER#";
}

}  // namespace

std::string CErrorPageSpec::Render(const std::map<std::string, std::string>& substitutions) const {
    std::string text;
    // Template paths are kept upper-cased; the file keeps its own case on disk.
    const std::string path = tessaro::platform::ResolvePathNoCase(templatePath);
    // Opened once and judged, as every file a template names; no larger than a variable.
    if (long error = tessaro::platform::ReadCheckedFile(path, maxBytes,
                                                        fileCheck ? fileCheck : RootOnlyFileGate().Check(), &text);
        error != 0)
        throw new CMappedFileException(error, "Error attempting to open file to be mapped.");
    std::map<std::string, std::string> all = substitutions;
    all["#ERROR.MAILTO#"] = mailTo;
    for (const auto& [key, value] : all) ReplaceStringNoCase(text, key, IsEngineHtml(key) ? value : HtmlEscape(value));
    return text;
}
