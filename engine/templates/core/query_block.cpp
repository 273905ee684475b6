#include "engine/templates/core/query_block.h"

#include <algorithm>

#include "engine/grammar/template_symbols.h"
#include "engine/templates/core/query_results.h"
#include "support/html_escape.h"
#include "support/number_parse.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

// How the page's position block (the host's PositionReport) begins.
constexpr const char* kPositionReportStart = "The error occurred on (or near) line ";

}  // namespace

bool KeepsQueryBlockOpen(unsigned p) {
    // The grammar marks these productions; the generated set is in number order.
    const auto& open = tessaro::grammar::template_grammar::production_set::keepsQueryBlockOpen;
    return std::binary_search(open.begin(), open.end(), p);
}

CQueryTag::CQueryTag(CQueryTagHost& host, CNamedQueries& queries) : m_host(host), m_queries(queries) {}

CQueryTag::~CQueryTag() = default;

void CQueryTag::InvalidSyntax() const {
    throw new CWebException(
        "Invalid syntax for TSQUERY tag",
        "The cause of the problem is most likely one of two things: <OL><LI>You have used a TSSQL or end query tag "
        "(/TSQUERY) without a corresponding begin query tag (TSQUERY).<BR> <LI>You have used an invalid TSML tag "
        "within a TSQUERY block (tags valid within query blocks are TSIF, TSELSE, /TSIF, TSSET, and TSSQL).<P>");
}

void CQueryTag::OnBegin(bool showSql, bool debug, const std::string& openedAt) {
    m_openedAt = openedAt;
    m_ended = false;
    m_pending = std::make_unique<CTSXQueryImp>(showSql);
    m_pending->SetDebug(debug);
    m_origin.clear();
    m_rawText.clear();
    m_evaluatedText.clear();
}

void CQueryTag::OnName(const std::string& value, const std::string& origin) {
    if (!m_pending) InvalidSyntax();
    std::string name = TrimmedCopy(UpperCopy(RemoveChar(value, '"')));
    const std::string* existing = m_queries.OriginOf(name);
    if (existing != nullptr && (origin.empty() || *existing != origin))
        throw new CWebException(
            "Duplicate TSQUERY name",
            CWebMessage("You have attempted to define a TSQUERY using the name of an already existing "
                        "TSQUERY (") +
                name + "). You must use unique names to define each of your queries.");
    m_pending->SetName(name);
    m_origin = origin;
}

void CQueryTag::OnDataSource(const std::string& value) {
    if (!m_pending) InvalidSyntax();
    m_pending->SetDataSource(TrimmedCopy(value));
}

void CQueryTag::OnMaxRows(const std::string& value) {
    if (!m_pending) InvalidSyntax();
    long rows = AsciiToLong(value);
    if (rows < 0)
        throw new CWebException("An error occurred while attempting to process a TSQUERY tag.",
                                CWebMessage::FromHtml(m_host.PositionReport()) +
                                    "The MAXROWS attribute of the TSQUERY tag, which evaluates to " +
                                    std::to_string(rows) + ", must be a non-negative number.");
    m_pending->SetMaxRows(rows > 0x7FFFFFFFL ? 0x7FFFFFFF : static_cast<int>(rows));
}

void CQueryTag::OnTimeout(const std::string& value) {
    if (!m_pending) InvalidSyntax();
    // Stored as the author wrote it (kept within 32 bits); the data source judges it.
    long seconds = AsciiToLong(value);
    if (seconds > 0x7FFFFFFFL) seconds = 0x7FFFFFFF;
    if (seconds < -0x7FFFFFFFL - 1) seconds = -0x7FFFFFFFL - 1;
    m_pending->SetTimeout(static_cast<int>(seconds));
}

void CQueryTag::OnSql(const std::string& value) {
    if (!m_pending) InvalidSyntax();
    m_pending->AppendSQL(" " + value);
}

void CQueryTag::OnUserName(const std::string& value) {
    if (!m_pending) InvalidSyntax();
    m_pending->SetUserName(value);
}

void CQueryTag::OnPassword(const std::string& value) {
    if (!m_pending) InvalidSyntax();
    m_pending->SetPassword(value);
}

void CQueryTag::OnDebug(bool isDebugClient) {
    if (m_pending && isDebugClient) m_pending->SetDebug(true);
}

void CQueryTag::OnText(const std::string& text) {
    if (!m_pending) InvalidSyntax();
    m_rawText += text;
    if (RemoveWhitespace(text).empty()) return;
    std::string sql = m_host.SubstituteSql(text);
    // A reference to this query's own columns has run it already, with this text
    // going to the reply as a block closed early.
    if (m_pending) m_evaluatedText += sql;
}

void CQueryTag::OnEnd() {
    if (!m_pending) InvalidSyntax();
    m_pending->AppendSQL(m_evaluatedText);
    m_ended = true;
    m_evaluatedText.clear();
    m_rawText.clear();
    Finish();
}

void CQueryTag::CheckClosed() const {
    if (!m_pending || m_ended || !TrimmedCopy(m_pending->GetSQL()).empty()) return;
    throw new CWebException(
        "TSQUERY tag not closed.",
        CWebMessage("The TSQUERY tag") + (m_openedAt.empty() ? std::string() : " on " + m_openedAt) +
            " has no SQL: its block is not closed by a /TSQUERY before the next tag or the end of the template.");
}

void CQueryTag::Finish() {
    if (!m_pending) return;
    std::string raw;
    raw.swap(m_rawText);
    m_evaluatedText.clear();
    if (!raw.empty()) m_host.WriteText(raw);
    CTSXQueryImp& query = *m_pending;
    try {
        CheckClosed();
        query.ValidateQuery();
        m_host.UseDataSource(query.GetLogin());
        m_host.Execute(query);
    } catch (CWebException* e) {
        // A query that fails at the data source says where it is written, as every other
        // error of a running tag does.
        if (e->GetDetail().find(kPositionReportStart) == std::string::npos)
            e->PrependDetail(CWebMessage::FromHtml(m_host.PositionReport()));
        if (query.GetShowSql()) e->AppendDetail(CWebMessage("Data Source = \"") + query.GetDataSource() + "\"");
        throw;
    }
    if (query.GetDebug()) m_host.AddDebugLine(query.DebugLine());
    std::unique_ptr<CTSXQueryImp> done = std::move(m_pending);
    if (!done->GetName().empty()) m_queries.Enter(std::move(done), m_origin);
}
