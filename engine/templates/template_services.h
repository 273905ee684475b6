// What the template pages reach of the engine: the services start-up builds once and every
// request shares. Their owner (the engine, or a test) keeps each service and hands the pages
// this view of its members, made once over them: a service is seen from the moment it is
// built until it is freed, with nothing to set or clear by hand. A page never reaches them
// any other way.
#pragma once

#include <memory>
#include <mutex>

#include "reports/report_tag_settings.h"

class CExpressionEvaluationDriver;
class CRuntimeFileGate;
class CTSCustomTagManager;
class CTemplateTables;
class ConnectionPool;
class TSMail;

struct TemplateServices {
    // The private files of the running system that no template road may touch.
    const CRuntimeFileGate* files = nullptr;
    // The template grammar every request's parser reads (null: pages fail with "Template
    // grammar not loaded").
    const std::unique_ptr<CTemplateTables>& grammar;
    // The expression language, read only once built.
    const std::unique_ptr<CExpressionEvaluationDriver>& expressions;
    // The pooled data-source connections (null: pages have no data sources).
    const std::unique_ptr<ConnectionPool>& connections;
    // The mail spooler TSMAIL writes its messages to (null: no message can be spooled).
    const std::unique_ptr<TSMail>& mail;
    // The extension tags' libraries.
    const std::unique_ptr<CTSCustomTagManager>& customTags;
    // Held while one report request is handed to the report server.
    mutable std::timed_mutex reportServer;
    // The Reports settings, read at the first TSREPORT.
    mutable tessaro::reports::ReportTagSettingsOnce reportSettings;
};
