#include "engine/templates/template_actions.h"

#include "engine/server/request_dispatcher.h"
#include "engine/templates/pages/get_graphic_page.h"
#include "engine/templates/pages/inserter_page.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/pages/pooled_data_sources.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/report/report_engine.h"
#include "engine/templates/template_tables.h"
#include "support/text_helpers.h"
#include "engine/templates/tags/extension/tsx_tag_manager.h"

void RegisterTemplateActions(CRequestDispatcher& dispatcher) {
    // The diagnostic echo page, when switched on, stays the default.
    bool isDefault = dispatcher.GetDefaultAction().empty() || UpperCopy(dispatcher.GetDefaultAction()) == "QUERY";
    dispatcher.RegisterAction(
        "Query", [] { return std::make_unique<CQueryPage>(); }, isDefault);
    dispatcher.RegisterAction("GetGraphic", [] { return std::make_unique<CGetGraphicPage>(); });
    dispatcher.RegisterAction("Insert", [] { return std::make_unique<CInserterPage>(); });
    dispatcher.RegisterAction("Update", [] { return std::make_unique<CInserterPage>(); });
}

void StartTemplateInterpreter(CRequestDispatcher& dispatcher) {
    CWDBBasePage::SetDataSourceFactory(MakePooledDataSourceSet);
    RegisterTemplateActions(dispatcher);
    LoadTemplateParserTables();
    LoadExpressionEvaluator();
}

void StartExtensionTags() {
    BuildCustomTagManager();
}

void StopTemplateInterpreter() {
    FreeExpressionEvaluator();
    FreeTemplateParserTables();
    DeleteCustomTagManager();
    CloseReportEngineMutex();
}
