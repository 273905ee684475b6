#include "engine/templates/tags/param_error/param_error_engine.h"

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
