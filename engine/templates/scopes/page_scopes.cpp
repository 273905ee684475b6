#include "engine/templates/scopes/page_scopes.h"

#include "engine/expressions/random_state.h"
#include "engine/server/client_scope.h"
#include "engine/server/client_variable_store.h"
#include "engine/server/request_reader.h"
#include "engine/templates/scopes/cookie_scope.h"
#include "engine/templates/template_page.h"
#include "engine/templates/core/query_results.h"
#include "support/registry.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

bool ReadRequest(const CRequestReader* reader, bool (CRequestReader::*has)(const std::string&) const,
                 std::string (CRequestReader::*get)(const std::string&) const, const std::string& name,
                 std::string& value) {
    if (reader == nullptr || !(reader->*has)(name)) return false;
    value = (reader->*get)(name);
    return true;
}

}  // namespace

bool CClientIdSourceImp::UrlParameterExists(const std::string& name) {
    return m_page.GetReader() != nullptr && m_page.GetReader()->HasUrlParameter(name);
}

std::string CClientIdSourceImp::GetUrlParameter(const std::string& name) {
    return m_page.GetReader() != nullptr ? m_page.GetReader()->GetUrlParameter(name) : std::string();
}

bool CClientIdSourceImp::CookieExists(const std::string& name) {
    std::string ignored;
    return m_page.GetCookieScope() != nullptr && m_page.GetCookieScope()->GetCookie(name, ignored);
}

std::string CClientIdSourceImp::GetCookie(const std::string& name) {
    std::string value;
    if (m_page.GetCookieScope() != nullptr) m_page.GetCookieScope()->GetCookie(name, value);
    return value;
}

void CClientIdSourceImp::SetCookie(const std::string& name, const std::string& value) {
    if (m_page.GetCookieScope() == nullptr) return;
    auto cookie = std::make_unique<CCookie>();
    cookie->name = UpperCopy(name);
    cookie->value = value;
    cookie->SetExpiresSpecial(CCookie::kExpireNever);
    m_page.GetCookieScope()->AddCookie(std::move(cookie));
}

int CClientIdSourceImp::Random() {
    return NextRandom(m_random);
}

CPageScopes::CPageScopes(CQueryPage& page) : m_page(page), m_idSource(page, m_random) {}

CPageScopes::~CPageScopes() = default;

void CPageScopes::SetFileVariable(const std::string& name, const std::string& value) {
    m_fileVariables[UpperCopy(name)] = value;
}

std::string CPageScopes::CurrentQueryName() {
    return m_currentQueryName ? m_currentQueryName() : std::string();
}

CParameterResolution CPageScopes::ResolveParameter(const std::string& name, int row) {
    return ResolveParameterInScopes(*this, name, row, CurrentQueryName());
}

void CPageScopes::AssignVariable(const std::string& name, const std::string& value) {
    const CAssignmentTarget target = ParseAssignmentName(name);
    if (target.scope != CAssignableScope::Client && m_page.GetCookieScope() == nullptr)
        throw new CWebException(CWebMessage("Unable to set variable <B>") + name + "</B>",
                                "The page is not running a request.");
    switch (target.scope) {
        case CAssignableScope::Variables:
            m_page.GetCookieScope()->SetVariable(target.name, value);
            break;
        case CAssignableScope::Cookie: {
            auto cookie = std::make_unique<CCookie>();
            cookie->name = target.name;
            cookie->value = value;
            // The name goes into a Set-Cookie header as it stands, on this road as on TSCOOKIE's.
            cookie->CheckName();
            m_page.GetCookieScope()->AddCookie(std::move(cookie));
            break;
        }
        case CAssignableScope::Client: {
            CClientScope* clients = Clients();
            if (clients == nullptr)
                throw new CWebException(CWebMessage("Unable to set variable <B>") + name + "</B>",
                                        "The client variable store is not available.");
            // The name is checked against the store's reserved names first, as for a read: with
            // client management off that check is what answers.
            CheckClientReadable(target.name);
            clients->Set(ClientVariableName(target.name), value);
            break;
        }
    }
}

std::string CPageScopes::ClientVariablePrefix() {
    return m_page.GetApplicationName() + "::";
}

CClientScope* CPageScopes::Clients() {
    if (!m_clientsTried) {
        m_clientsTried = true;
        try {
            m_clients = std::make_unique<CClientScope>(m_idSource);
        } catch (CRegistryException* e) {
            e->Delete();
        }
    }
    return m_clients.get();
}

void CPageScopes::ReleaseClients() {
    m_clients.reset();
    m_clientsTried = true;
}

CTSXQueryImp* CPageScopes::FindNamedQuery(const std::string& name) {
    return m_queries ? m_queries->Find(name) : nullptr;
}

bool CPageScopes::GetTemplateVariable(const std::string& name, std::string& value) {
    return m_page.GetCookieScope() != nullptr && m_page.GetCookieScope()->GetVariable(name, value);
}

bool CPageScopes::GetCgiVariable(const std::string& name, std::string& value) {
    return ReadRequest(m_page.GetReader(), &CRequestReader::HasCgiVariable, &CRequestReader::GetCgiVariable, name,
                       value);
}

bool CPageScopes::GetFileVariable(const std::string& name, std::string& value) {
    const auto it = m_fileVariables.find(UpperCopy(name));
    if (it == m_fileVariables.end()) return false;
    value = it->second;
    return true;
}

bool CPageScopes::GetUrlParameter(const std::string& name, std::string& value) {
    return ReadRequest(m_page.GetReader(), &CRequestReader::HasUrlParameter, &CRequestReader::GetUrlParameter, name,
                       value);
}

bool CPageScopes::GetFormField(const std::string& name, std::string& value) {
    return ReadRequest(m_page.GetReader(), &CRequestReader::HasFormField, &CRequestReader::GetFormField, name, value);
}

bool CPageScopes::GetRequestCookie(const std::string& name, std::string& value) {
    return m_page.GetCookieScope() != nullptr && m_page.GetCookieScope()->GetCookie(name, value);
}

bool CPageScopes::GetClientVariable(const std::string& storeName, std::string& value) {
    CClientScope* clients = Clients();
    if (clients == nullptr || !clients->Exists(storeName)) return false;
    value = clients->Get(storeName);
    return true;
}

std::string CPageScopes::ClientVariableName(const std::string& name) {
    return IsReservedClientName(name) ? name : ClientVariablePrefix() + name;
}

void CPageScopes::CheckClientReadable(const std::string& name) {
    CClientScope* clients = Clients();
    // The disabled store answers every access with its explanation.
    if (clients != nullptr && !clients->IsEnabled()) clients->IsReserved(name);
}

void CPageScopes::LookupVariable(const std::string& name, int row, std::string& value) {
    if (m_beforeLookup) m_beforeLookup(name);
    value = ResolveParameter(name, row).value;
}

CTSXQueryImp* CPageScopes::FindQueryNoCase(const std::string& name) {
    return FindNamedQuery(name);
}

int CPageScopes::CurrentLoopRow() {
    return m_loopRow ? m_loopRow() : -1;
}

std::string CPageScopes::WriteErrorReport() {
    return m_page.WriteErrorReport();
}

void CPageScopes::DeleteClientVariable(const std::string& name) {
    CClientScope* clients = Clients();
    if (clients == nullptr)
        throw new CWebException("Error attempting to delete a client value.",
                                "The client variable store is not available.");
    clients->Delete(ClientVariableName(name));
}

std::string CPageScopes::MainTemplatePath() {
    return m_page.GetMainTemplatePath();
}

std::string CPageScopes::ClientVariableList() {
    std::vector<std::string> names;
    if (CClientScope* clients = Clients()) clients->GetVariableNames(names);
    return ClientVariableListText(names, ClientVariablePrefix());
}

const CRuntimeFileGate* CPageScopes::FileGate() {
    return &m_page.Files();
}

void CPageScopes::CheckBudget() {
    m_page.CheckRequestTimeout();
}
