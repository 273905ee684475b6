#include "tests/templates/test_template_services.h"

#include "database/access/connection_pool.h"
#include "engine/expressions/expression_driver.h"
#include "engine/server/mail_spooler.h"
#include "engine/templates/tags/extension/tsx_tag_manager.h"
#include "engine/templates/template_tables.h"
#include "support/registry.h"

TestTemplateServices::TestTemplateServices() {
    m_tables = CTemplateTables::Load();
    if (!m_tables) m_problem = "the template grammar tables did not load";
    m_expressions = std::make_unique<CExpressionEvaluationDriver>();
    {
        // The build's mailer library, wherever the test program runs from.
        auto root = OpenTessaroRootKey();
        CRegistrySettings settings(root.get());
        settings.Set("Mail", "MailerDLL", std::string(TESSARO_BINARY_DIR) + "/lib/libtssmtp.so");
    }
    m_mail = std::make_unique<TSMail>(&m_files);
    if (!m_mail->Initialized()) m_problem = "the mail spooler: " + m_mail->ErrorText();
    m_customTags = std::make_unique<CTSCustomTagManager>();
}

TestTemplateServices::~TestTemplateServices() = default;

void TestTemplateServices::AddConnectionPool(CRegistrySettings* settings) {
    m_connections = std::make_unique<ConnectionPool>(settings);
}
