// The services the engine hands its template pages, built for one test as the engine's
// start-up builds them: the grammar tables, the expression language, the private-file
// gate, the mail spooler over the real mailer library and the extension tag manager; the
// connection pool when the test asks for it. Nothing is shared with another test.
#pragma once

#include <memory>
#include <string>

#include "engine/templates/template_services.h"
#include "support/runtime_file_gate.h"

class CExpressionEvaluationDriver;
class CRegistrySettings;
class CTSCustomTagManager;
class CTemplateTables;
class ConnectionPool;
class TSMail;

class TestTemplateServices {
public:
    // Reads its settings from the current runtime root (the mailer library is the build's).
    TestTemplateServices();
    ~TestTemplateServices();
    TestTemplateServices(const TestTemplateServices&) = delete;
    TestTemplateServices& operator=(const TestTemplateServices&) = delete;

    // The pool over the root's settings (not owned; they outlive the pool).
    void AddConnectionPool(CRegistrySettings* settings);

    const TemplateServices& Services() const { return m_services; }
    CRuntimeFileGate& Files() { return m_files; }
    // Why a service could not be built ("" when all are there).
    const std::string& Problem() const { return m_problem; }

private:
    CRuntimeFileGate m_files;
    std::unique_ptr<CTemplateTables> m_tables;
    std::unique_ptr<CExpressionEvaluationDriver> m_expressions;
    std::unique_ptr<ConnectionPool> m_connections;
    std::unique_ptr<TSMail> m_mail;
    std::unique_ptr<CTSCustomTagManager> m_customTags;
    TemplateServices m_services{.files = &m_files,
                                .grammar = m_tables,
                                .expressions = m_expressions,
                                .connections = m_connections,
                                .mail = m_mail,
                                .customTags = m_customTags,
                                .reportServer = {},
                                .reportSettings = {}};
    std::string m_problem;
};
