#include "engine/templates/tags/extension/tsx_request.h"

#include <cstring>
#include <memory>

#include "support/text_helpers.h"
#include "engine/templates/core/query_results.h"

namespace {

constexpr const char* kIllegalTitle = "Illegal operation in Tessaro Extension (TSX)";

const char* Text(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace

void ThrowIllegalTSXOperation(const CWebMessage& detail) {
    throw new CTSXExceptionImp(kIllegalTitle, detail);
}

// String sets.

int CTSXStringSetImp::AddString(const char* text) {
    // Each string is a copy of its own: a pointer handed out stays put while the set grows.
    const char* source = Text(text);
    std::size_t size = std::strlen(source) + 1;
    auto copy = std::make_unique<char[]>(size);
    std::memcpy(copy.get(), source, size);
    m_strings.push_back(std::move(copy));
    return GetCount();
}

const char* CTSXStringSetImp::GetString(int index) {
    if (index < 1 || index > GetCount())
        ThrowIllegalTSXOperation(CWebMessage("You have attempted to refer to string index ") + std::to_string(index) +
                                 " of a string set. The string set contains " + std::to_string(GetCount()) +
                                 " strings (references to elements of the set are 1 based). <P>You can call "
                                 "CTSXStringSet::GetCount to determine the number of strings contained within a set.");
    return m_strings[static_cast<std::size_t>(index - 1)].get();
}

int CTSXStringSetImp::GetIndexForString(const char* text) {
    std::string wanted = UpperCopy(Text(text));
    for (std::size_t i = 0; i < m_strings.size(); ++i)
        if (UpperCopy(m_strings[i].get()) == wanted) return static_cast<int>(i + 1);
    return -1;
}

// Query views.

const char* CTSXQueryView::GetName() {
    return m_query.GetName().c_str();
}

int CTSXQueryView::GetRowCount() {
    return m_query.GetRowCount();
}

CTSXStringSet* CTSXQueryView::GetColumns() {
    auto set = std::make_unique<CTSXStringSetImp>();
    for (int i = 0; i < m_query.GetColumnCount(); ++i) set->AddString(m_query.GetColumn(i).name.c_str());
    m_columnSets.push_back(std::move(set));
    return m_columnSets.back().get();
}

void CTSXQueryView::CheckCell(int row, int column) const {
    const std::string& name = m_query.GetName();
    if (row < 1 || row > m_query.GetRowCount())
        ThrowIllegalTSXOperation(CWebMessage("You have attempted to refer to row ") + std::to_string(row) +
                                 " of the query '" + name + "'. This query contains " +
                                 std::to_string(m_query.GetRowCount()) +
                                 " rows. <P>You can call CTSXQuery::GetRowCount to determine the number of rows "
                                 "contained within a query.");
    if (column < 1 || column > m_query.GetColumnCount())
        ThrowIllegalTSXOperation(CWebMessage("You have attempted to refer to an invalid column of the query '") + name +
                                 "' (the column index requested was " + std::to_string(column) +
                                 "). <P>You can call CTSXQuery::GetColumns to determine the number of columns "
                                 "contained within a query.");
}

const char* CTSXQueryView::GetData(int row, int column) {
    CheckCell(row, column);
    // The query's own text of the cell: a second call does not take the first one's text away.
    return m_query.CellText(row - 1, column - 1);
}

int CTSXQueryView::AddRow() {
    m_query.AddRow({});
    return m_query.GetRowCount();
}

void CTSXQueryView::SetData(int row, int column, const char* value) {
    CheckCell(row, column);
    m_query.SetCell(row - 1, column - 1, Text(value));
}

void CTSXQueryView::SetSQL(const char* text) {
    m_query.ReplaceSQL(Text(text));
}

void CTSXQueryView::SetExecutionTime(int milliseconds) {
    m_query.SetElapsedMs(milliseconds);
}

int CTSXQueryView::AddColumn(const std::string& name) {
    // Rows already made would lack the new column's cells.
    if (m_query.GetRowCount() > 0)
        ThrowIllegalTSXOperation(
            "You may not call CTSXQuery::AddColumn after you have called CTSXQuery::AddRow. <P> "
            "Please be sure to add all required columns to the query before you begin adding "
            "rows.");
    int position = m_query.GetColumnCount();
    m_query.AddColumn(name);
    return position;
}

// The request.

CTSXRequestImp::CTSXRequestImp(TSXRequestHost host, std::vector<std::pair<std::string, std::string>> attributes,
                               CTSXQueryImp* query, bool debug)
    : m_host(std::move(host)), m_attributes(std::move(attributes)), m_query(query), m_debug(debug) {}

TSXBOOL CTSXRequestImp::AttributeExists(const char* name) {
    std::string upper = UpperCopy(Text(name));
    for (const auto& attribute : m_attributes)
        if (UpperCopy(attribute.first) == upper) return 1;
    return upper == "QUERY" ? 1 : 0;
}

const char* CTSXRequestImp::GetAttribute(const char* name) {
    std::string upper = UpperCopy(Text(name));
    for (const auto& attribute : m_attributes)
        if (UpperCopy(attribute.first) == upper) return attribute.second.c_str();
    return "";
}

CTSXStringSet* CTSXRequestImp::GetAttributeList() {
    CTSXStringSet* set = CreateStringSet();
    for (const auto& attribute : m_attributes) set->AddString(attribute.first.c_str());
    return set;
}

CTSXQueryView* CTSXRequestImp::ViewOf(CTSXQueryImp* query) {
    std::unique_ptr<CTSXQueryView>& view = m_views[query];
    if (!view) view = std::make_unique<CTSXQueryView>(*query);
    return view.get();
}

CTSXQuery* CTSXRequestImp::GetQuery() {
    return m_query != nullptr ? ViewOf(m_query) : nullptr;
}

const char* CTSXRequestImp::GetSetting(const char* name) {
    m_settings.push_back(std::make_unique<std::string>(m_host.getSetting(Text(name))));
    return m_settings.back()->c_str();
}

void CTSXRequestImp::Write(const char* text) {
    m_host.write(Text(text));
}

void CTSXRequestImp::SetVariable(const char* name, const char* value) {
    m_host.setVariable(UpperCopy(Text(name)), Text(value));
}

CTSXQuery* CTSXRequestImp::AddQuery(const char* nameText, CTSXStringSet* columns) {
    std::string name = UpperCopy(Text(nameText));
    if (m_host.queries->Find(name) != nullptr)
        throw new CTSXExceptionImp(
            "Duplicate TSQUERY name",
            CWebMessage("You have attempted to define a TSQUERY using the name of an already existing "
                        "TSQUERY (") +
                name +
                "). You must use unique names to define each of "
                "your queries.");
    for (const char* scope : {"HTTP", "CGI", "FORM", "URL", "VARIABLES", "FILE", "COOKIE", "CLIENT"})
        if (name == scope)
            throw new CTSXExceptionImp(
                "Invalid TSQUERY name",
                CWebMessage("The query name '") + name +
                    "' is not valid because it conflicts "
                    "with an existing variable context. Please use a different name for your query.");
    // Owned here until the page takes it, so a failure on the way frees it.
    auto query = std::make_unique<CTSXQueryImp>(true);
    CTSXQueryView view(*query);
    if (columns != nullptr)
        for (int i = 1; i <= columns->GetCount(); ++i) view.AddColumn(columns->GetString(i));
    query->SetName(name);
    query->MarkExecuted();
    CTSXQueryImp* made = query.get();
    m_host.queries->Enter(std::move(query), "TSX");
    return ViewOf(made);
}

void CTSXRequestImp::WriteDebug(const char* text) {
    m_debugText += Text(text);
}

CTSXStringSet* CTSXRequestImp::CreateStringSet() {
    m_sets.push_back(std::make_unique<CTSXStringSetImp>());
    return m_sets.back().get();
}

void CTSXRequestImp::ThrowException(const char* title, const char* detail) {
    // A library's texts are HTML of its own (see the extension interface).
    throw new CTSXExceptionImp(CWebMessage::FromHtml(Text(title)), CWebMessage::FromHtml(Text(detail)));
}

void CTSXRequestImp::RethrowException(CTSXException* exception) {
    if (exception == nullptr) throw new CTSXExceptionImp("Error processing TSX custom tag", "");
    auto* copy = new CTSXExceptionImp(CWebMessage::FromHtml(Text(exception->GetTitle())),
                                      CWebMessage::FromHtml(Text(exception->GetDetail())));
    delete exception;
    throw copy;
}
