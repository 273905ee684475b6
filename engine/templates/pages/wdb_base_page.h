// The base of the pages that reach data sources: the request's connections,
// its form validation rules and its cookie scope, set up and released with the page.
#pragma once

#include <memory>
#include <string>

#include "engine/server/field_rules.h"
#include "engine/templates/scopes/cookie_scope.h"
#include "engine/templates/pages/web_page.h"

class CCookieScope;
class CFieldRule;
class CFieldRuleSet;

// The request's data-source connections; the connection pool provides the real one.
class CRequestDataSourceSet {
public:
    virtual ~CRequestDataSourceSet() = default;
    // Gives the connections back to the pool, or closes them after a failure.
    virtual void ReleaseConnections(bool close) = 0;
    // Debug\WriteSQLInfo.
    virtual bool WriteSQLInfo() const = 0;
};

class CWDBBasePage : public CWebPage {
public:
    using DataSourceFactory = std::unique_ptr<CRequestDataSourceSet> (*)(CServerSettings* settings);
    // Installed by the connection pool at start-up; without it the page has no data sources.
    static void SetDataSourceFactory(DataSourceFactory factory);

    ~CWDBBasePage() override;

    void Setup() override;
    void Finish() override;

    // Runs the rules; on failure the problem page replaces the reply and false is returned.
    bool ValidateForm();
    // The rules over the form with extra texts; false with the page's parts when a rule failed.
    bool BuildErrorPage(const std::string& textAfterIntro, std::string& listText, const std::string& textAfterBack,
                        std::string& page);
    CFieldRule* FindValidationRule(const std::string& name) const;
    bool IsSQLDebugOn() const;
    bool IsDebugClient() const;

    CCookieScope* GetCookieScope() const { return m_cookieScope.get(); }
    CRequestDataSourceSet* GetDataSources() const { return m_dataSources.get(); }
    void SetCloseConnections(bool close) { m_closeConnections = close; }

private:
    std::unique_ptr<CFieldRuleSet> m_rules;
    std::unique_ptr<CRequestDataSourceSet> m_dataSources;
    bool m_closeConnections = false;
    std::unique_ptr<CCookieScope> m_cookieScope;
};
