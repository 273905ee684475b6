#include "engine/templates/template_actions.h"

#include "engine/server/echo_page.h"
#include "engine/server/engine_subsystems.h"
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

void InstallTemplateSubsystems(EngineSubsystems& subsystems) {
    CWDBBasePage::SetDataSourceFactory(MakePooledDataSourceSet);
    auto previous = subsystems.registerActions;
    subsystems.registerActions = [previous](CRequestDispatcher& dispatcher) {
        if (previous) previous(dispatcher);
        RegisterTemplateActions(dispatcher);
    };
    subsystems.loadGrammarTables = [] {
        LoadTemplateParserTables();
        LoadExpressionEvaluator();
    };
    subsystems.buildCustomTagManager = BuildCustomTagManager;
    subsystems.deleteCustomTagManager = DeleteCustomTagManager;
    subsystems.closeReportEngineMutex = CloseReportEngineMutex;
    subsystems.freeGrammarTables = [] {
        FreeExpressionEvaluator();
        FreeTemplateParserTables();
    };
}

void InstallTemplateSubsystems() {
    InstallTemplateSubsystems(TheEngineSubsystems());
}
