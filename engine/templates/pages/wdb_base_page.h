// The base of the pages that reach data sources: the request's connections,
// its form validation rules and its cookie scope, set up and released with the page.
#pragma once

#include <memory>
#include <string>

#include "engine/server/field_rules.h"
#include "engine/templates/pages/web_page.h"
#include "engine/templates/scopes/cookie_scope.h"
#include "engine/templates/template_services.h"

class CCookieScope;
class CFieldRule;
class CRequestBudget;
class CFieldRuleSet;

class CRequestDataSources;
class CRuntimeFileGate;

class CWDBBasePage : public CWebPage {
public:
    // services (not owned) outlive the page.
    explicit CWDBBasePage(const TemplateServices& services);
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

    // What the request may spend (null without a reply writer): the page's loops, parses and
    // statements look at its clock, and its stop cancels a statement in flight.
    CRequestBudget* Budget() const;
    // Starts the budget's clock with the page's time limit: Server\LimitTime, Server\MaxSeconds
    // and the URL's REQUESTTIMEOUT.
    void StartRequestClock();

    // What the engine shares with its pages.
    const TemplateServices& Services() const { return m_services; }
    // The private files no template road may touch.
    const CRuntimeFileGate& Files() const;
    CCookieScope* GetCookieScope() const { return m_cookieScope.get(); }
    // The request's connections over the engine's pool; null while the page is not set up.
    CRequestDataSources* GetDataSources() const { return m_dataSources.get(); }
    void SetCloseConnections(bool close) { m_closeConnections = close; }

private:
    const TemplateServices& m_services;
    std::unique_ptr<CFieldRuleSet> m_rules;
    std::unique_ptr<CRequestDataSources> m_dataSources;
    bool m_closeConnections = false;
    std::unique_ptr<CCookieScope> m_cookieScope;
};
