// TSPARAM (a required parameter or its default) and TSERROR (the application's
// own pages for failed requests and form validation).
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/template_roots.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/tags/param_error/param_error_engine.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

// The attributes of the tag being read; the pages TSERROR registers are the
// page's (the template run uses them).
struct ParamErrorState : TagFamilyState {
    ParamTagState param;
    CErrorPageSpec buildingErrorPage;
};

ParamErrorState& State(TagContext& c) {
    return c.Own<ParamErrorState>();
}

void EndParam(TagContext& c) {
    CQueryPage& page = c.page;
    ExecuteParam(
        State(c).param,
        [&page](const std::string& name) {
            std::string value;
            page.GetScopes().LookupVariable(name, -1, value);
        },
        [&page](const std::string& name, const std::string& value) { page.GetScopes().AssignVariable(name, value); });
}

constexpr TagAction kActions[] = {
    // TSERROR.
    {p::errorStart_ErrorTag, [](TagContext& c) { State(c).buildingErrorPage.Reset(); }},
    {p::errorAttribute_ErrorType_attributeValue,
     [](TagContext& c) { State(c).buildingErrorPage.SetErrorType(c.page.attributeValue()); }},
    {p::errorAttribute_ErrorMailTo_attributeValue,
     [](TagContext& c) { State(c).buildingErrorPage.mailTo = c.page.attributeValue(); }},
    {p::errorAttribute_ErrorTemplate_attributeValue,
     [](TagContext& c) {
         State(c).buildingErrorPage.templatePath = c.page.ExpandTemplatePath(c.page.attributeValue(), true, "");
         // The page is read when an error happens: judged then as it was found here.
         State(c).buildingErrorPage.fileCheck = InsideTemplateRootsCheck(c.page.TemplateRoots(), c.page.Files());
         State(c).buildingErrorPage.maxBytes = c.page.GetScopes().MaxFunctionResultBytes();
     }},
    {p::item_errorStart_errorAttributesOpt_ErrorEnd,
     [](TagContext& c) {
         ExecuteErrorTag(State(c).buildingErrorPage, c.tags.ValidationErrorPage(), c.tags.RequestErrorPage());
     }},
    // TSPARAM.
    {p::paramStart_ParamTag, [](TagContext& c) { State(c).param.Reset(); }},
    {p::paramAttribute_ParamName_attributeValue, [](TagContext& c) { State(c).param.name = c.page.attributeValue(); }},
    {p::paramAttribute_ParamDefault_attributeValue,
     [](TagContext& c) { State(c).param.SetDefault(c.page.attributeValue()); }},
    {p::item_paramStart_paramAttributesOpt_ParamEnd, EndParam},
};

std::unique_ptr<TagFamilyState> MakeState() {
    return std::make_unique<ParamErrorState>();
}

}  // namespace

const TagFamily kParamErrorTags{"TSPARAM TSERROR", kActions, MakeState};
