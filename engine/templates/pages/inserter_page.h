// The Insert and Update actions: a posted form names the data source, the table
// and the page to go to next, and its other fields become the row, as TSINSERT
// and TSUPDATE would write it. Allowed only for data sources whose
// AllowIUActions setting is on.
#pragma once

#include <string>

#include "engine/templates/pages/insert_update.h"
#include "engine/templates/pages/wdb_base_page.h"

class CInserterPage : public CWDBBasePage {
public:
    explicit CInserterPage(const TemplateServices& services) : CWDBBasePage(services) {}
    using CWDBBasePage::Run;
    void Setup() override;
    void Run() override;

    // The form field's value; missing or empty fields raise CWebODBCException.
    std::string GetRequiredFormField(const std::string& name);
    // The URL parameter "action" is "Insert" in any case.
    bool IsInsertAction() const;
    bool Succeeded() const { return m_succeeded; }

private:
    CInsertUpdateRequest m_request;
    std::string m_nextPage;
    bool m_succeeded = false;
};
