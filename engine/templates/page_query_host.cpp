#include "engine/templates/page_query_host.h"

#include "database/odbc/odbc_cursor.h"
#include "support/web_exception.h"
#include "engine/templates/core/query_results.h"
#include "engine/templates/core/transaction_window.h"
#include "engine/templates/page_evaluation.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/pages/pooled_data_sources.h"
#include "engine/server/reply_writer.h"
#include "engine/templates/template_page.h"

void CPageQueryHost::WriteText(const std::string& text) {
    m_page.WriteText(text);
}

std::string CPageQueryHost::SubstituteSql(const std::string& text) {
    return EvaluateOnPage(m_page, text, -1, 1, kEvaluateTemplateText);
}

void CPageQueryHost::UseDataSource(const CDataSourceLogin& login) {
    m_page.Tags().Transaction().UseDataSource(login);
}

void CPageQueryHost::AddDebugLine(const std::string& line) {
    m_page.AddQueryDebugLine(line);
}

std::string CPageQueryHost::PositionReport() {
    return m_page.WriteErrorReport();
}

void CPageQueryHost::Execute(CTSXQueryImp& query) {
    query.PrepareExecution(m_page.GetSettings());
    // The page's results draw on the request's budget, and its stop cancels the statement.
    if (m_page.GetWriter() != nullptr) query.UseBudget(&m_page.GetWriter()->Budget());
    odbcCURSOR* cursor = nullptr;
    try {
        cursor = RequestDataSourcesOf(m_page).AllocCursor(query.GetLogin());
    } catch (CWebException* e) {
        // Connecting and opening the cursor are part of the run whose SQL the author sees.
        query.AddSqlToError(e);
        throw;
    }
    if (cursor == nullptr) {
        auto* e =
            new CWebException("Unable to open a cursor", CWebMessage("No cursor could be opened on the data source '") +
                                                             query.GetDataSource() + "'.");
        query.AddSqlToError(e);
        throw e;
    }
    query.ExecuteOnCursor(*cursor, [this] { m_page.CheckRequestTimeout(); });
}
