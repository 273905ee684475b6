#include "wizards/application_generation.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "platform/file_system.h"
#include "platform/path_util.h"
#include "wizards/entry_row_pages.h"
#include "wizards/field_defaults.h"

namespace tessaro::wizards {

namespace {

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? separator : "") + parts[i];
    return text;
}

bool Load(TCodeGenerator& generator, const std::string& templatesDir, const std::string& name, std::string& error) {
    if (generator.LoadTemplate(platform::JoinPath(templatesDir, name))) return true;
    error = "Cannot open file " + platform::JoinPath(templatesDir, name);
    return false;
}

void AddMissing(std::vector<std::string>& tables, const std::string& table) {
    if (!table.empty() && std::find(tables.begin(), tables.end(), table) == tables.end()) tables.push_back(table);
}

// The fields a page reads, with the unique identifier's column among them, so the
// identifier's table is part of the coverage check.
TDBTableFieldsList WithIdentifier(const TDBTableFieldsList& fields, const TDBTableField& id) {
    TDBTableFieldsList all;
    for (std::size_t i = 0; i < fields.Count(); ++i) all.Add(fields.Key(i), fields.Fields(i));
    if (!id.TableName.empty()) all.Add(QualifiedName(id.TableName, id.FieldName), id);
    return all;
}

}  // namespace

std::vector<std::string> DefaultHeader(const std::string& title) {
    const std::string shown = TCodeGenerator::HtmlText(title);
    return {"<HTML>", "<HEAD><TITLE>" + shown + "</TITLE></HEAD>", "<BODY>",
            "<CENTER><IMG SRC=\"entryform.gif\"></CENTER>", "<CENTER><H1>" + shown + "</H1></CENTER>"};
}

std::vector<std::string> DefaultFooter() {
    return {"</BODY>", "</HTML>"};
}

GenerationResult GenerateDataEntry(DataEntryModel& m, TCodeGenerator& g, const std::string& templatesDir) {
    GenerationResult result;
    const std::string source = TCodeGenerator::TagAttribute(m.DataSource.DataSourceName);
    const std::string table = m.Tables.empty() ? "" : m.Tables.front();
    AddDefaultProperties(m.ChosenFields, m.FieldProperties, FieldUse::Entry);
    if (!Load(g, templatesDir, "wiz2_1.txt", result.error)) return result;
    g.ReplaceLines("#Entry_Row_Query#", EntryRowQuery(m));
    g.ReplaceLines("#PageHeader#", m.Header);
    g.ReplaceText("#DataEntry_Template_URL#", "DataEntry.TSM");
    g.ReplaceLines("#Validation_Rules#", TCodeGenerator::ValidationRules(m.ChosenFields, m.FieldProperties, false));
    g.ReplaceLines("#Hidden_Fields#", EntryFormHiddenFields(m));
    g.ReplaceLines("#Form_Fields#", EntryFormControls(m));
    g.ReplaceText("#Entry_List_URL#", kEntryListPage);
    g.ReplaceLines("#PageFooter#", m.Footer);
    result.files.push_back({"EntryForm.TSM", g.Text()});

    if (!Load(g, templatesDir, "wiz2_2.txt", result.error)) return result;
    // One tag stores a new entry, the other the changes of an existing one.
    for (int tag = 0; tag < 2; ++tag) {
        g.ReplaceText("#DataSourceName#", source);
        g.ReplaceText("#TableName#", TCodeGenerator::TagAttribute(table));
        g.ReplaceText("#Stored_Fields#", StoredFieldNames(m));
    }
    g.ReplaceText("#Entry_Action#", kEntryActionField);
    if (!m.MailTo.empty())
        g.ReplaceLines("#KSMAIL_Block#",
                       TCodeGenerator::MailBlock("", m.MailFrom, m.FieldProperties, m.ChosenFields,
                                                 "Data Submition (" + m.ApplicationTitle + ")", m.MailTo));
    else
        g.ReplaceText("#KSMAIL_Block#", " ");
    g.ReplaceText("#KSLOCATION_Tag#", m.TargetType == "NextPage Existing"
                                          ? "<TSLOCATION URL=\"" + TCodeGenerator::TagAttribute(m.NextPageURL) + "\">"
                                          : " ");
    g.ReplaceText("#Entry_List_URL#", kEntryListPage);
    result.files.push_back({"DataEntry.TSM", g.Text()});

    if (!Load(g, templatesDir, "wiz2_3.txt", result.error)) return result;
    g.ReplaceText("#Entries_Query#", kEntriesQuery);
    g.ReplaceText("#DataSourceName#", source);
    g.ReplaceText("#Requested_Fields#", ListedColumns(m));
    g.ReplaceText("#TableName#", table);
    g.ReplaceText("#Order_By#", ListOrder(m));
    for (int shown = 0; shown < 2; ++shown)
        g.ReplaceText("#Application_Title#", TCodeGenerator::HtmlText(m.ApplicationTitle));
    g.ReplaceText("#Column_Headers#", ListHeadings(m));
    g.ReplaceText("#Entries_Query#", kEntriesQuery);
    g.ReplaceText("#Row_Cells#", ListCells(m));
    result.files.push_back({kEntryListPage, g.Text()});
    result.pictures = {"entryform.gif", "dataentry.gif"};
    return result;
}

bool CheckDrillDownJoins(DrillDownModel& m, bool* resultsCovered, bool* detailCovered) {
    // The result page's query reads the search columns too.
    TDBTableFieldsList resultSide = WithIdentifier(m.SearchFields, TDBTableField{});
    for (std::size_t i = 0; i < m.ResultFields.Count(); ++i)
        resultSide.Add(m.ResultFields.Key(i), m.ResultFields.Fields(i));
    bool results = JoinsCoverTables(WithIdentifier(resultSide, m.UniqueId), m.Joins, m.ResultJoins, m.ResultTables);
    bool detail = JoinsCoverTables(WithIdentifier(m.DetailFields, m.UniqueId), m.Joins, m.DetailJoins, m.DetailTables);
    if (resultsCovered) *resultsCovered = results;
    if (detailCovered) *detailCovered = detail;
    return results && detail;
}

GenerationResult GenerateDrillDown(DrillDownModel& m, TCodeGenerator& g, const std::string& templatesDir) {
    GenerationResult result;
    const std::string idLabel = m.UniqueId.TableName + "__" + m.UniqueId.FieldName;

    const std::string title = TCodeGenerator::HtmlText(m.ApplicationTitle);
    const std::string source = TCodeGenerator::TagAttribute(m.DataSource.DataSourceName);

    AddDefaultProperties(m.SearchFields, m.FieldProperties, FieldUse::Search);
    if (!Load(g, templatesDir, "wiz1_1.txt", result.error)) return result;
    g.ReplaceText("#Application_Title#", title);
    g.ReplaceText("#Application_Title#", title);
    g.ReplaceText("#Result_Template_URL#", "Results.TSM");
    g.ReplaceLines("#Validation_Rules#", TCodeGenerator::ValidationRules(m.SearchFields, m.FieldProperties, true));
    g.ReplaceLines("#Hidden_Fields#", TCodeGenerator::HiddenFields(m.SearchFields, m.FieldProperties, true));
    g.ReplaceLines("#Form_Fields#",
                   TCodeGenerator::FormFields("TabularStyle", m.SearchFields, true, m.FieldProperties));
    result.files.push_back({"Search.TSM", g.Text()});

    if (!Load(g, templatesDir, "wiz1_2.txt", result.error)) return result;
    // A browser sends no field for a radio, check box or list left without a choice: such a
    // field does not take part in the search, like an empty one.
    Lines defaults;
    for (std::size_t i = 0; i < m.SearchFields.Count(); ++i)
        defaults.push_back("<TSPARAM NAME=\"" + m.SearchFields.FormLabel(i) + "\" DEFAULT=\"\">");
    g.ReplaceLines("#Search_Defaults#", defaults);
    g.ReplaceText("#Application_Title#", title);
    g.ReplaceText("#Application_Title#", title);
    g.ReplaceText("#DataSourceName#", source);
    // The identifier comes last; columns that share a name are read by their form labels.
    const TDBTableFieldsList resultSelect = WithIdentifier(m.ResultFields, m.UniqueId);
    g.ReplaceText("#Requested_Fields#", TCodeGenerator::SelectList(resultSelect));
    for (std::size_t i = 0; i < m.ResultJoins.Count(); ++i) {
        AddMissing(m.ResultTables, m.ResultJoins.Joins(i).Table1);
        AddMissing(m.ResultTables, m.ResultJoins.Joins(i).Table2);
    }
    AddMissing(m.ResultTables, m.UniqueId.TableName);
    g.ReplaceText("#Tables_Involved#", Join(m.ResultTables, ","));
    std::vector<std::string> joinKeys;
    for (std::size_t i = 0; i < m.ResultJoins.Count(); ++i) joinKeys.push_back(m.ResultJoins.Key(i));
    g.ReplaceText("#Joins_Involved#", joinKeys.empty() ? " 0=0 " : Join(joinKeys, " AND "));
    g.ReplaceLines("#Dynamic_SQL_Search_Conditions#", TCodeGenerator::SearchConditions(m.SearchFields));
    // The identifier travels URL-encoded, so any value makes a working link.
    std::string prefix = "<A HREF=\"\"Detail.TSM?" + idLabel + "=#URLEncodedFormat(" +
                         TCodeGenerator::ColumnName(resultSelect, m.UniqueId) + ")#\"\">";
    g.ReplaceLines("#DBTable_Columns#", TCodeGenerator::ResultColumns(m.ResultFields, prefix, "</A>", &resultSelect));
    result.files.push_back({"Results.TSM", g.Text()});

    if (!Load(g, templatesDir, "wiz1_3.txt", result.error)) return result;
    g.ReplaceText("#Application_Title#", title);
    g.ReplaceText("#Application_Title#", title);
    g.ReplaceText("#DataSourceName#", source);
    g.ReplaceText("#Requested_Fields#", TCodeGenerator::SelectList(m.DetailFields));
    AddMissing(m.DetailTables, m.UniqueId.TableName);
    g.ReplaceText("#Tables_Involved#", Join(m.DetailTables, ","));
    std::string detailJoins;
    for (std::size_t i = 0; i < m.DetailJoins.Count(); ++i) detailJoins += m.DetailJoins.Key(i) + " AND ";
    g.ReplaceText("#Joins_Involved#", detailJoins);
    g.ReplaceText("#Search_Condition#", TCodeGenerator::SearchCondition(m.UniqueId, "="));
    g.ReplaceLines("#Detail_Fields#", TCodeGenerator::DetailLines(m.DetailFields));
    result.files.push_back({"Detail.TSM", g.Text()});
    result.pictures = {"search.gif", "results.gif", "detail.gif"};
    return result;
}

std::string FillCompletionText(const std::string& rtf, const std::vector<std::pair<std::string, std::string>>& values) {
    TCodeGenerator g;
    g.SetText(rtf);
    for (const auto& [placeholder, value] : values) {
        // A file name is text of the rich text, not its markup.
        std::string text;
        for (char c : value) {
            if (c == '\\' || c == '{' || c == '}') text += '\\';
            text += c;
        }
        g.ReplaceText(placeholder, text);
    }
    return g.Text();
}

void CopyFileToDirectory(const std::string& source, const std::string& target) {
    std::string destination = target;
    if (platform::GetFileKind(target) == platform::FileKind::Directory) {
        std::string unixSource = platform::ToUnixPath(source);
        destination = platform::JoinPath(target, unixSource.substr(unixSource.find_last_of('/') + 1));
    }
    std::ifstream in(source, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot open file " + source);
    std::ofstream out(destination, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot create file " + destination);
    char buffer[8192];
    do {
        in.read(buffer, sizeof buffer);
        out.write(buffer, in.gcount());
    } while (in.gcount() == static_cast<std::streamsize>(sizeof buffer));
    if (!out.flush()) throw std::runtime_error("Cannot create file " + destination);
}

}  // namespace tessaro::wizards
