#include "engine/templates/pages/wdb_base_page.h"

#include "database/access/request_data_sources.h"
#include "engine/server/field_rules.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_reader.h"
#include "engine/templates/scopes/cookie_scope.h"
#include "support/runtime_file_gate.h"
#include "support/server_settings.h"

CWDBBasePage::CWDBBasePage(const TemplateServices& services) : m_services(services) {}

CWDBBasePage::~CWDBBasePage() = default;

const CRuntimeFileGate& CWDBBasePage::Files() const {
    return m_services.files != nullptr ? *m_services.files : RootOnlyFileGate();
}

void CWDBBasePage::Setup() {
    m_closeConnections = false;
    if (m_services.connections != nullptr)
        m_dataSources = std::make_unique<CRequestDataSources>(
            GetSettings() != nullptr ? GetSettings()->GetRegistrySettings() : nullptr, m_services.connections.get());
    m_rules = CFieldRuleSet::CreateStandard();
    m_cookieScope = std::make_unique<CCookieScope>(GetReader());
}

void CWDBBasePage::Finish() {
    if (m_dataSources) {
        m_dataSources->ReleaseConnections(m_closeConnections);
        m_dataSources.reset();
    }
    m_rules.reset();
    m_cookieScope.reset();
}

bool CWDBBasePage::ValidateForm() {
    std::string list, page;
    if (BuildErrorPage("", list, "", page)) return true;
    GetWriter()->BeginEnginePage();
    GetWriter()->GetCurrentChannel()->WriteText(page);
    return false;
}

bool CWDBBasePage::BuildErrorPage(const std::string& textAfterIntro, std::string& listText,
                                  const std::string& textAfterBack, std::string& page) {
    if (!m_rules) return true;
    return m_rules->WriteErrorPage(GetReader()->GetFormFields(), textAfterIntro, listText, textAfterBack, page);
}

CFieldRule* CWDBBasePage::FindValidationRule(const std::string& name) const {
    return m_rules ? m_rules->FindRule(name) : nullptr;
}

bool CWDBBasePage::IsDebugClient() const {
    return ::IsDebugClient(GetReader(), GetSettings());
}

bool CWDBBasePage::IsSQLDebugOn() const {
    return m_dataSources && m_dataSources->WriteSQLInfo() != 0 && IsDebugClient();
}
