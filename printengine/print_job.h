// One open report: its definition, the formulas, selection and sort fields set on it, the
// table's log-on, and the export destination. Every failure throws FormulaError with the
// engine's error number.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "printengine/formula.h"
#include "printengine/report_definition.h"

namespace tessaro::print {

using Row = std::vector<Value>;

struct SortField {
    std::string text;  // as set, for instance "{staff.name}"
    Formula key;
    bool ascending = true;
};

enum class HtmlSubtype { Standard = 0, Microsoft = 1, Netscape = 2 };

class PrintJob {
public:
    // Throws FormulaError(kErrReportFile) when the definition cannot be read, or the error of
    // its first formula that does not parse.
    explicit PrintJob(const std::string& reportPath);

    const ReportDefinition& Definition() const { return m_def; }

    void SetSelection(const std::string& text);
    const std::string& SelectionText() const { return m_selectionText; }
    // Names may carry a leading at sign; an unknown name is error 510.
    std::string GetFormula(const std::string& name) const;
    void SetFormula(const std::string& name, const std::string& text);
    // n may replace an existing sort field or add the next one.
    void SetSortField(int n, const std::string& field, bool ascending);
    const std::vector<SortField>& SortFields() const { return m_sort; }

    // The log-on the table is read with; starts as the definition's defaults.
    struct LogOn {
        std::string server, database, user, password;
    };
    LogOn& TableLogOn() { return m_logOn; }

    void SetExport(const std::string& path, HtmlSubtype subtype) {
        m_exportPath = path;
        m_subtype = subtype;
        m_exportSet = true;
    }
    bool ExportSet() const { return m_exportSet; }

    // Filters the rows by the selection, sorts them stably and gives the page's HTML.
    std::string Render(std::vector<Row> rows) const;
    // Reads the table (through privateConnection for an ODBC table when not null), renders
    // and writes the export file.
    void Print(void* privateConnection) const;

    // The column of a field reference ("table.field" or "field"), or -1.
    int FieldColumn(const std::string& reference) const;

private:
    friend class JobRow;
    FormulaNames Names() const;
    Value EvaluateNamed(const std::string& lowerName, const Row& row, int depth) const;

    ReportDefinition m_def;
    std::map<std::string, std::pair<std::string, Formula>> m_formulas;  // lower name -> text, parsed
    std::string m_selectionText;
    Formula m_selection;
    std::vector<SortField> m_sort;
    std::vector<Formula> m_columns;
    LogOn m_logOn;
    std::string m_exportPath;
    HtmlSubtype m_subtype = HtmlSubtype::Netscape;
    bool m_exportSet = false;
};

// Row sources (table_rows.cpp).
std::vector<Row> ReadOdbcRows(const TableDefinition& table, void* connection, const PrintJob::LogOn& logOn);
std::vector<Row> ReadFileRows(const TableDefinition& table, const std::string& reportPath);

// The page (html_export.cpp).
// pictureFile, when given, is the name of a picture file beside the page.
std::string RenderHtml(const std::string& title, const std::vector<std::string>& headings,
                       const std::vector<std::vector<std::string>>& cells, const std::string& image,
                       HtmlSubtype subtype, const std::string& pictureFile = std::string());
// The picture file a definition names: its path (relative to the report's folder unless
// absolute) and the name it takes beside the export (its last component).
std::string PicturePath(const ReportDefinition& definition);
std::string PictureFileName(const ReportDefinition& definition);

}  // namespace tessaro::print
