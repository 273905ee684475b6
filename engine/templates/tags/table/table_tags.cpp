// TSTABLE, TSCOL and /TSTABLE: a query's rows as a preformatted or HTML table
// (see table_engine.h).
#include <memory>

#include "support/query_not_executed.h"
#include "support/number_parse.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "engine/templates/page_evaluation.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/tags/table/table_engine.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

struct TableState : TagFamilyState {
    std::unique_ptr<CTableTag> table;
};

CTableTag& Table(TagContext& c) {
    TableState& state = c.Own<TableState>();
    if (!state.table) state.table = std::make_unique<CTableTag>();
    return *state.table;
}

int Number(const std::string& value) {
    long n = AsciiToLong(value);
    if (n > 0x7FFFFFFFL) return 0x7FFFFFFF;
    if (n < -0x7FFFFFFFL) return -0x7FFFFFFF;
    return static_cast<int>(n);
}

[[noreturn]] void BadRowAttribute(TagContext& c, const CWebMessage& attribute, int value, const CWebMessage& must) {
    throw new CWebException("An error occurred while attempting to process a TSTABLE tag.",
                            CWebMessage::FromHtml(c.page.WriteErrorReport()) + "The " + attribute +
                                " attribute of the TSTABLE tag, which "
                                "evaluates to " +
                                std::to_string(value) + ", must be a " + must + " number.");
}

void SetQuery(TagContext& c) {
    std::string name = TrimmedCopy(c.page.attributeValue());
    CTSXQueryImp* query = c.tags.FindQuery(name);
    if (query == nullptr)
        throw new CWebException("Invalid QUERY name specified in TS tag", QueryNotYetExecutedText(name));
    Table(c).SetQuery(UpperCopy(name), query);
    // Unqualified names in the table's tags, and in each column's TEXT, are its query's columns.
    c.tags.SetTableQuery(Table(c).QueryName());
}

void Write(TagContext& c) {
    TableState& state = c.Own<TableState>();
    std::unique_ptr<CTableTag> table = std::move(state.table);
    if (!table) return;
    struct CloseTable {
        CPageTags& tags;
        ~CloseTable() { tags.SetTableQuery(""); }
    } close{c.tags};
    CQueryPage& page = c.page;
    c.page.WriteText(table->Write([&page](const std::string& text, int row) {
        return EvaluateOnPage(page, text, row, 0, kEvaluateTemplateText);
    }));
}

CTableColumn& Column(TagContext& c) {
    CTableTag& table = Table(c);
    return table.CurrentColumn() != nullptr ? *table.CurrentColumn() : table.BeginColumn();
}

constexpr TagAction kActions[] = {
    {p::tableStart_TableTag,
     [](TagContext& c) {
         c.Own<TableState>().table = std::make_unique<CTableTag>();
         c.tags.SetTableQuery("");
     }},
    {p::tableAttribute_TableQuery_attributeValue, SetQuery},
    {p::tableAttribute_TableHeaderLines_attributeValue,
     [](TagContext& c) { Table(c).SetHeaderLines(Number(c.page.attributeValue())); }},
    {p::tableAttribute_TableColSpacing_attributeValue,
     [](TagContext& c) { Table(c).SetColumnSpacing(Number(c.page.attributeValue())); }},
    {p::tableAttribute_TableMaxRows_attributeValue,
     [](TagContext& c) {
         int rows = Number(c.page.attributeValue());
         if (rows < 0) BadRowAttribute(c, "MAXROWS", rows, "non-negative");
         Table(c).SetMaxRows(rows);
     }},
    {p::tableAttribute_TableStartRow_attributeValue,
     [](TagContext& c) {
         int row = Number(c.page.attributeValue());
         if (row < 1) BadRowAttribute(c, "STARTROW", row, "positive");
         Table(c).SetStartRow(row);
     }},
    {p::tableAttribute_TableColHeaders, [](TagContext& c) { Table(c).SetColumnHeaders(); }},
    {p::tableAttribute_TableHtmlTable, [](TagContext& c) { Table(c).SetHtmlTable(); }},
    {p::tableAttribute_TableBorder, [](TagContext& c) { Table(c).SetBorder(); }},
    {p::columnStart_ColumnTag, [](TagContext& c) { Table(c).BeginColumn(); }},
    {p::columnAttribute_ColumnHeader_attributeValue,
     [](TagContext& c) {
         Column(c);
         // The header reads the table query's first row, whatever loop is around the table.
         std::string header = c.page.rawAttributeValue();
         if (header.find('#') != std::string::npos)
             header = EvaluateOnPage(c.page, header, 0, 0, kEvaluateTemplateText);
         Table(c).SetColumnHeader(header);
     }},
    {p::columnAttribute_ColumnWidth_attributeValue,
     [](TagContext& c) { Column(c).SetWidth(Number(c.page.attributeValue())); }},
    {p::columnAttribute_ColumnAlign_attributeValue,
     [](TagContext& c) { Column(c).SetAlignment(c.page.attributeValue()); }},
    {p::columnAttribute_ColumnText_attributeValue, [](TagContext& c) { Column(c).text = c.page.rawAttributeValue(); }},
    {p::columnTag_columnStart_columnAttributesOpt_TagClose, [](TagContext& c) { Table(c).EndColumn(); }},
    {p::item_tableStart_tableAttributesOpt_TagClose_columns_EndTableTag, Write},
};

}  // namespace

const TagFamily kTableTags{"TSTABLE TSCOL /TSTABLE", kActions,
                           [] { return std::unique_ptr<TagFamilyState>(std::make_unique<TableState>()); }};
