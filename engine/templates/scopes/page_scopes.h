// The variable scopes of one template page and its side of the evaluator bridge: name
// resolution over the request, assignment with the prefix rule, client-variable naming,
// the client-id source of the client store, and the request's random state.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "engine/expressions/runtime_interface.h"
#include "engine/server/client_id_source.h"
#include "engine/templates/expression_bridge.h"
#include "engine/templates/scopes/variable_scopes.h"

class CClientScope;
class CNamedQueries;
class CQueryPage;

// The client store's view of the request: identifying URL parameters and cookies, reply
// cookies, and the template's random sequence.
class CClientIdSourceImp : public CClientIdSource {
public:
    CClientIdSourceImp(CQueryPage& page, CRandomState& random) : m_page(page), m_random(random) {}
    bool UrlParameterExists(const std::string& name) override;
    std::string GetUrlParameter(const std::string& name) override;
    bool CookieExists(const std::string& name) override;
    std::string GetCookie(const std::string& name) override;
    void SetCookie(const std::string& name, const std::string& value) override;
    int Random() override;

private:
    CQueryPage& m_page;
    CRandomState& m_random;
};

class CPageScopes : public CVariableScopeSources, public CEvaluationHost {
public:
    explicit CPageScopes(CQueryPage& page);
    ~CPageScopes() override;

    // What the query and loop tags provide once they run in the page.
    void SetNamedQueries(CNamedQueries* queries) { m_queries = queries; }
    void SetCurrentQueryNameSource(std::function<std::string()> source) { m_currentQueryName = std::move(source); }
    void SetLoopRowSource(std::function<int()> source) { m_loopRow = std::move(source); }
    // Called with every name the evaluator looks up, before it is resolved: inside an open
    // TSQUERY a name prefixed with the pending query's name first finishes that query.
    void SetBeforeLookup(std::function<void(const std::string&)> hook) { m_beforeLookup = std::move(hook); }
    // TSFILE's status variables (FILE scope).
    void SetFileVariable(const std::string& name, const std::string& value);

    std::string CurrentQueryName();
    CParameterResolution ResolveParameter(const std::string& name, int row);
    // TSSET/TSPARAM: VARIABLES, COOKIE or CLIENT by the name's prefix.
    void AssignVariable(const std::string& name, const std::string& value);
    std::string ClientVariablePrefix();
    // The client scope, made on first use; null when the client store cannot be opened.
    CClientScope* Clients();
    // The page's finish: the client's open store goes; later accesses find no scope.
    void ReleaseClients();
    CClientIdSource& IdSource() { return m_idSource; }

    // CVariableScopeSources.
    CTSXQueryImp* FindNamedQuery(const std::string& name) override;
    bool GetTemplateVariable(const std::string& name, std::string& value) override;
    bool GetCgiVariable(const std::string& name, std::string& value) override;
    bool GetFileVariable(const std::string& name, std::string& value) override;
    bool GetUrlParameter(const std::string& name, std::string& value) override;
    bool GetFormField(const std::string& name, std::string& value) override;
    bool GetRequestCookie(const std::string& name, std::string& value) override;
    bool GetClientVariable(const std::string& storeName, std::string& value) override;
    std::string ClientVariableName(const std::string& name) override;
    void CheckClientReadable(const std::string& name) override;

    // CEvaluationHost.
    void LookupVariable(const std::string& name, int row, std::string& value) override;
    CTSXQueryImp* FindQueryNoCase(const std::string& name) override;
    int CurrentLoopRow() override;
    void SetVariable(const std::string& name, const std::string& value) override { AssignVariable(name, value); }
    std::string WriteErrorReport() override;
    void DeleteClientVariable(const std::string& name) override;
    std::string MainTemplatePath() override;
    std::string ClientVariableList() override;
    CRandomState* RandomState() override { return &m_random; }
    std::size_t MaxFunctionResultBytes() override { return m_maxResultBytes; }
    const CRuntimeFileGate* FileGate() override;
    void CheckBudget() override;

    // Server\MaxFunctionResultBytes as the page's set-up read it.
    void SetMaxFunctionResultBytes(std::size_t bytes) { m_maxResultBytes = bytes; }

private:
    CQueryPage& m_page;
    CRandomState m_random;
    CClientIdSourceImp m_idSource;
    std::unique_ptr<CClientScope> m_clients;
    bool m_clientsTried = false;
    CNamedQueries* m_queries = nullptr;
    std::function<std::string()> m_currentQueryName;
    std::function<int()> m_loopRow;
    std::function<void(const std::string&)> m_beforeLookup;
    std::map<std::string, std::string> m_fileVariables;
    std::size_t m_maxResultBytes = kDefaultMaxFunctionResultBytes;
};
