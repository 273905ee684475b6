// What the template pages reach of the engine: the services start-up builds once and every
// request shares. The engine owns one, fills in each service as it builds it, in its
// start-up order, and hands it to the pages it registers; a test builds its own. A page
// never reaches them any other way.
#pragma once

#include <mutex>

#include "reports/report_tag_settings.h"

class CExpressionEvaluationDriver;
class CRuntimeFileGate;
class CTSCustomTagManager;
class CTemplateTables;
class ConnectionPool;
class TSMail;

struct TemplateServices {
    // The template grammar every request's parser reads (null: pages fail with "Template
    // grammar not loaded").
    const CTemplateTables* grammar = nullptr;
    // The expression language, read only once built.
    CExpressionEvaluationDriver* expressions = nullptr;
    // The pooled data-source connections (null: pages have no data sources).
    ConnectionPool* connections = nullptr;
    // The mail spooler TSMAIL writes its messages to (null: no message can be spooled).
    TSMail* mail = nullptr;
    // The extension tags' libraries.
    CTSCustomTagManager* customTags = nullptr;
    // The private files of the running system that no template road may touch.
    const CRuntimeFileGate* files = nullptr;
    // Held while one report request is handed to the report server.
    mutable std::timed_mutex reportServer;
    // The Reports settings, read at the first TSREPORT.
    mutable tessaro::reports::ReportTagSettingsOnce reportSettings;
};
