#include "wizards/entry_row_pages.h"

#include <algorithm>

namespace tessaro::wizards {

namespace {

bool IsKey(const DataEntryModel& m, const std::string& column) {
    return std::find(m.KeyFields.begin(), m.KeyFields.end(), column) != m.KeyFields.end();
}

bool IsChosen(const DataEntryModel& m, const std::string& column) {
    for (std::size_t i = 0; i < m.ChosenFields.Count(); ++i)
        if (m.ChosenFields.Fields(i).FieldName == column) return true;
    return false;
}

std::string TypeOf(const DataEntryModel& m, const std::string& column) {
    for (std::size_t i = 0; i < m.AllFields.Count(); ++i)
        if (m.AllFields.Fields(i).FieldName == column) return m.AllFields.Fields(i).TypeName;
    return "";
}

// The chosen columns, then the key columns not among them.
std::vector<std::string> ColumnsWithKey(const DataEntryModel& m) {
    std::vector<std::string> columns;
    for (std::size_t i = 0; i < m.ChosenFields.Count(); ++i) columns.push_back(m.ChosenFields.Fields(i).FieldName);
    for (const std::string& key : m.KeyFields)
        if (!IsChosen(m, key)) columns.push_back(key);
    return columns;
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? separator : "") + parts[i];
    return text;
}

// Every key column has its URL parameter.
std::string KeyInUrl(const DataEntryModel& m) {
    std::vector<std::string> tests;
    for (const std::string& key : m.KeyFields) tests.push_back("ParameterExists(URL." + key + ")");
    return Joined(tests, " AND ");
}

}  // namespace

Lines EntryRowQuery(const DataEntryModel& m) {
    if (m.KeyFields.empty() || m.Tables.empty()) return {};
    std::vector<std::string> conditions;
    for (const std::string& key : m.KeyFields)
        conditions.push_back(key + " = " + TCodeGenerator::SqlValue(TypeOf(m, key), "URL." + key));
    return {"<TSIF " + KeyInUrl(m) + ">",
            std::string("<TSQUERY NAME=\"") + kEntryRowQuery + "\" DATASOURCE=\"" +
                TCodeGenerator::TagAttribute(m.DataSource.DataSourceName) + "\" MAXROWS=\"1\">",
            "SELECT " + Joined(ColumnsWithKey(m), ",") + " FROM " + m.Tables.front() + " WHERE " +
                Joined(conditions, " AND "),
            "</TSQUERY>", "</TSIF>"};
}

Lines EntryFormHiddenFields(DataEntryModel& m) {
    if (!m.KeyFields.empty()) return {};
    return TCodeGenerator::HiddenFields(m.ChosenFields, m.FieldProperties, false);
}

Lines EntryFormControls(DataEntryModel& m) {
    Lines fresh = TCodeGenerator::FormFields(m.PageStyle, m.ChosenFields, false, m.FieldProperties);
    if (m.KeyFields.empty()) return fresh;
    // Hidden fields of a new entry take their fixed values; those of a stored row without
    // one keep the row's value.
    Lines freshHidden = TCodeGenerator::HiddenFields(m.ChosenFields, m.FieldProperties, false);
    fresh.insert(fresh.begin(), freshHidden.begin(), freshHidden.end());
    // The key names the row to change, so it travels unchanged instead of in its control.
    TDBTableFieldsList editable;
    for (std::size_t i = 0; i < m.ChosenFields.Count(); ++i)
        if (!IsKey(m, m.ChosenFields.Fields(i).FieldName))
            editable.Add(m.ChosenFields.Key(i), m.ChosenFields.Fields(i));
    Lines lines{"<TSIF " + KeyInUrl(m) + ">", std::string("<TSOUTPUT QUERY=\"") + kEntryRowQuery + "\">",
                std::string("<INPUT TYPE=\"hidden\" NAME=\"") + kEntryActionField + "\" VALUE=\"Update\">"};
    for (const std::string& key : m.KeyFields)
        lines.push_back("<INPUT TYPE=\"hidden\" NAME=\"" + key + "\" VALUE=\"" +
                        TCodeGenerator::ShownValue(std::string(kEntryRowQuery) + "." + key) + "\">");
    Lines hidden = TCodeGenerator::HiddenFields(editable, m.FieldProperties, false, kEntryRowQuery);
    lines.insert(lines.end(), hidden.begin(), hidden.end());
    Lines controls = TCodeGenerator::FormFields(m.PageStyle, editable, false, m.FieldProperties, kEntryRowQuery);
    lines.insert(lines.end(), controls.begin(), controls.end());
    lines.push_back("</TSOUTPUT>");
    lines.push_back(std::string("<TSIF ") + kEntryRowQuery +
                    ".RecordCount IS 0><P>This entry does not exist.</P></TSIF>");
    lines.push_back("<TSELSE>");
    lines.insert(lines.end(), fresh.begin(), fresh.end());
    lines.push_back("</TSIF>");
    return lines;
}

std::string StoredFieldNames(const DataEntryModel& m) {
    return TCodeGenerator::TagAttribute(Joined(ColumnsWithKey(m), ","));
}

std::string ListedColumns(const DataEntryModel& m) {
    return Joined(ColumnsWithKey(m), ",");
}

std::string ListOrder(const DataEntryModel& m) {
    return m.KeyFields.empty() ? "" : " ORDER BY " + Joined(m.KeyFields, ",");
}

std::string ListHeadings(DataEntryModel& m) {
    std::string cells = m.KeyFields.empty() ? "" : "<TH></TH>";
    for (std::size_t i = 0; i < m.ChosenFields.Count(); ++i) {
        const TFormFieldProperties& p =
            m.FieldProperties.Properties(FindOrCreateProperties(m.ChosenFields.Key(i), m.FieldProperties));
        cells += "<TH>" + TCodeGenerator::HtmlText(p.Caption) + "</TH>";
    }
    return cells;
}

std::string ListCells(const DataEntryModel& m) {
    const std::string row = std::string(kEntriesQuery) + ".";
    std::string cells;
    if (!m.KeyFields.empty()) {
        std::vector<std::string> parameters;
        for (const std::string& key : m.KeyFields) parameters.push_back(key + "=#URLEncodedFormat(" + row + key + ")#");
        cells = "<TD><A HREF=\"EntryForm.TSM?" + Joined(parameters, "&amp;") + "\">Change</A></TD>";
    }
    for (std::size_t i = 0; i < m.ChosenFields.Count(); ++i)
        cells += "<TD>" + TCodeGenerator::ShownValue(row + m.ChosenFields.Fields(i).FieldName) + "</TD>";
    return cells;
}

}  // namespace tessaro::wizards
