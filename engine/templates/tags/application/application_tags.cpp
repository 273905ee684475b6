// TSAPPLICATION: names the application and switches client management.
#include "engine/server/client_scope.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

void SetClientManagement(TagContext& c) {
    std::string value = UpperCopy(c.page.attributeValue());
    if (value != "YES" && value != "NO")
        throw new CWebException(
            "The CLIENTMANAGEMENT attribute of the TSAPPLICATION tag must be either \"YES\" or \"NO\".",
            "Invalid attribute value.");
    if (CClientScope* clients = c.page.GetScopes().Clients()) {
        clients->EnableClientManagement(value == "YES");
    } else if (value == "YES") {
        throw new CWebException("Unable to enable client management.",
                                "The client variable store could not be opened.");
    }
}

constexpr TagAction kActions[] = {
    {p::applicationAttribute_ApplicationName_attributeValue,
     [](TagContext& c) { c.page.SetApplicationName(UpperCopy(c.page.attributeValue())); }},
    {p::applicationAttribute_ApplicationClientManagement_attributeValue, SetClientManagement},
};

}  // namespace

const TagFamily kApplicationTags{"TSAPPLICATION", kActions};
