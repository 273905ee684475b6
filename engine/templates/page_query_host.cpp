#include "engine/templates/page_query_host.h"

#include "database/odbc/odbc_cursor.h"
#include "support/html_escape.h"
#include "support/web_exception.h"
#include "engine/templates/page_evaluation.h"
#include "engine/templates/pooled_data_sources.h"
#include "engine/templates/query_page.h"

void CPageQueryHost::WriteText(const std::string& text) {
    m_page.WriteText(text);
}

std::string CPageQueryHost::SubstituteSql(const std::string& text) {
    return EvaluateOnPage(m_page, text, -1, 1, kEvaluateTemplateText);
}

void CPageQueryHost::AddDebugLine(const std::string& line) {
    m_page.AddQueryDebugLine(line);
}

std::string CPageQueryHost::PositionReport() {
    return m_page.WriteErrorReport();
}

void CPageQueryHost::Execute(CTSXQueryImp& query) {
    auto* sources = dynamic_cast<CPooledDataSourceSet*>(m_page.GetDataSources());
    if (sources == nullptr)
        throw new CWebException("No data sources available",
                                "The Tessaro engine has no connection pool for ODBC data sources.");
    odbcCURSOR* cursor = sources->Set().AllocCursor(query.GetLogin());
    struct CloseCursor {
        odbcCURSOR* cursor;
        // The cursor's error handler throws; a failed close here (a lost connection,
        // say) must not escape a destructor, least of all while an error unwinds.
        ~CloseCursor() {
            if (cursor == nullptr) return;
            cursor->AutoReport(0);
            cursor->Close();
        }
    } close{cursor};
    if (cursor == nullptr)
        throw new CWebException("Unable to open a cursor", "No cursor could be opened on the data source '" +
                                                               HtmlEscape(query.GetDataSource()) + "'.");
    query.ExecuteOnStatement(m_page.GetSettings(), cursor->GetHstmt(), [this] { m_page.CheckRequestTimeout(); });
}
