#include "engine/templates/tags/param_error/param_error_engine.h"

#include "platform/file_ops.h"
#include "platform/path_util.h"
#include "support/runtime_file_gate.h"
#include "support/html_escape.h"
#include "support/mapped_file.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

void ExecuteParam(const ParamTagState& state, const std::function<void(const std::string&)>& lookup,
                  const std::function<void(const std::string&, const std::string&)>& assign) {
    if (state.name.empty())
        throw new CWebException("Invalid TSPARAM tag",
                                "The NAME attribute of the TSPARAM tag is required and was "
                                "not specified.");
    try {
        lookup(state.name);
        return;
    } catch (CException* e) {
        e->Delete();
    }
    if (state.hasDefault) {
        assign(state.name, state.defaultValue);
        return;
    }
    throw new CWebException(CWebMessage("Required parameter <B>") + state.name + "</B> not found",
                            CWebMessage("You have used the TSPARAM tag to declare the parameter '") + state.name +
                                "' to be required for this template. The parameter is not available. <P>Please "
                                "verify that you have passed or initialized the parameter correctly. If you wish to "
                                "set a default value for the parameter you should use the DEFAULT attribute of the "
                                "TSPARAM tag.");
}

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

void ExecuteErrorTag(CErrorPageSpec& building, CErrorPageSpec& validationPage, CErrorPageSpec& requestPage) {
    if (building.templatePath.empty())
        throw new CWebException("Invalid TSERROR Tag",
                                "No TEMPLATE attribute was specified for the TSERROR tag (this attribute is "
                                "required). The TEMPLATE attribute specifies the relative path to the file which "
                                "contains your customized error output.");
    if (building.kind == CErrorPageSpec::Validation) validationPage = building;
    if (building.kind == CErrorPageSpec::Request) requestPage = building;
    building.Reset();
}
