#include "engine/templates/pages/wdb_base_page.h"

#include <atomic>

#include "engine/server/field_rules.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_reader.h"
#include "engine/templates/scopes/cookie_scope.h"

namespace {

std::atomic<CWDBBasePage::DataSourceFactory> g_factory{nullptr};

}  // namespace

void CWDBBasePage::SetDataSourceFactory(DataSourceFactory factory) {
    g_factory = factory;
}

CWDBBasePage::~CWDBBasePage() = default;

void CWDBBasePage::Setup() {
    m_closeConnections = false;
    if (DataSourceFactory factory = g_factory.load()) m_dataSources = factory(GetSettings());
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
    return TheRequestDispatcher().IsDebugClient(GetReader(), GetSettings());
}

bool CWDBBasePage::IsSQLDebugOn() const {
    return m_dataSources && m_dataSources->WriteSQLInfo() && IsDebugClient();
}
