#include "engine/templates/template_actions.h"

#include "engine/server/request_dispatcher.h"
#include "engine/templates/pages/get_graphic_page.h"
#include "engine/templates/pages/inserter_page.h"
#include "engine/templates/template_page.h"
#include "support/text_helpers.h"

void RegisterTemplateActions(CRequestDispatcher& dispatcher, const TemplateServices& services) {
    // The diagnostic echo page, when switched on, stays the default.
    bool isDefault = dispatcher.GetDefaultAction().empty() || UpperCopy(dispatcher.GetDefaultAction()) == "QUERY";
    dispatcher.RegisterAction(
        "Query", [&services] { return std::make_unique<CQueryPage>(services); }, isDefault);
    dispatcher.RegisterAction("GetGraphic", [] { return std::make_unique<CGetGraphicPage>(); });
    dispatcher.RegisterAction("Insert", [&services] { return std::make_unique<CInserterPage>(services); });
    dispatcher.RegisterAction("Update", [&services] { return std::make_unique<CInserterPage>(services); });
}
