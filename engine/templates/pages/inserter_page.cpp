#include "engine/templates/pages/inserter_page.h"

#include "database/access/request_data_sources.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "engine/templates/pages/pooled_data_sources.h"
#include "engine/templates/core/reply_header_rules.h"

std::string CInserterPage::GetRequiredFormField(const std::string& name) {
    std::string action = GetReader()->GetUrlParameter("action");
    if (!GetReader()->HasFormField(name))
        throw new CWebODBCException(
            CWebMessage("Form field '") + name + "' not found in script input.",
            CWebMessage("This field is required in order to process the ") + action + " request.");
    std::string value = GetReader()->GetFormField(name);
    if (value.empty())
        throw new CWebODBCException(
            CWebMessage("Form field '") + name + "' is empty.",
            CWebMessage("A value for this field is required in order to process the ") + action + " request.");
    return value;
}

bool CInserterPage::IsInsertAction() const {
    return UpperCopy(GetReader()->GetUrlParameter("action")) == "INSERT";
}

void CInserterPage::Setup() {
    CWDBBasePage::Setup();
    // The page's time limit holds here as on a template's page: its statement is cancelled at it.
    StartRequestClock();
    // Every required field is checked before a connection is made.
    m_request = CInsertUpdateRequest{};
    m_request.insert = IsInsertAction();
    m_request.login = CDataSourceLogin{GetRequiredFormField("DATASOURCE"), "", ""};
    // The table fields are taken as posted, blanks and all.
    m_request.tableName = GetRequiredFormField("TABLENAME");
    m_nextPage = GetRequiredFormField("NEXTPAGE");
    m_request.tableOwner = GetReader()->GetFormField("TABLEOWNER");
    m_request.tableQualifier = GetReader()->GetFormField("TABLEQUALIFIER");
    const std::string& dataSource = m_request.login.dataSource;

    CRequestDataSources& sources = RequestDataSourcesOf(*this);
    try {
        sources.GetConnect(m_request.login);
    } catch (CWebException* e) {
        SetCloseConnections(true);
        if (IsSQLDebugOn()) e->AppendDetail(CWebMessage("Data Source = \"") + dataSource + "\"");
        throw;
    }
    CServerSettings* settings = GetSettings();
    if (settings == nullptr || settings->GetNumber("DataSources\\" + dataSource, "AllowIUActions", 0) == 0)
        throw new CWebException(
            "Insert and Update Actions Not Permitted",
            CWebMessage("The Action=Insert and Action=Update commands are not permitted for the data source '") +
                dataSource +
                "'. As of version 1.5 of Tessaro, the Insert and Update Actions have been replaced (respectively) "
                "with the TSINSERT and TSUPDATE tags.<P>While you should always use the TSINSERT and TSUPDATE tags in "
                "new Tessaro applications, you may have older applications which have not yet been updated to use the "
                "new tags. If this is the case, you may re-enable the Action=Insert and Action=Update commands using "
                "the data source configuration dialog available in the Tessaro Administrator. Here that is the value "
                "AllowIUActions of the key DataSources\\" +
                dataSource +
                ", set to 1 with tsreg (see docs/templates.md, section \"Saving forms: TSINSERT and TSUPDATE\").");
    sources.CheckSQLAuthorization(m_request.insert ? "INSERT" : "UPDATE", dataSource);
}

void CInserterPage::Run() {
    m_succeeded = false;
    if (!ValidateForm()) return;
    CReplyWriter* writer = GetWriter();
    CInsertUpdate engine(m_request, *this, [writer](const std::string& page, const std::string&) {
        writer->BeginEnginePage();
        writer->GetCurrentChannel()->WriteText(page);
    });
    if (!engine.Execute()) return;
    // The next page is the form's to choose; line breaks never reach the header block.
    writer->Redirect(RedirectUrl(m_nextPage));
    m_succeeded = true;
}
