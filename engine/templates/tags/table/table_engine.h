// TSTABLE and TSCOL: the rows of a query that has run, written as a table
// either preformatted (padded columns inside <PRE>) or as an HTML <TABLE>. The
// block is collected while it is read and written at </TSTABLE>.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CTSXQueryImp;

struct CTableColumn {
    enum Alignment { Left = 0, Right = 1, Center = 2 };

    std::string text;    // kept unevaluated; evaluated once per row
    std::string header;  // evaluated when the tag is read
    int width = 20;      // characters (preformatted) or percent (HTML)
    bool widthGiven = false;
    Alignment alignment = Left;

    void SetWidth(int n) {
        width = n;
        widthGiven = true;
    }
    // "RIGHT" and "CENTER" (any case, trimmed); anything else aligns left.
    void SetAlignment(const std::string& value);
};

class CTableTag {
public:
    // The query's name as stored by the page's map, and the query (not owned).
    void SetQuery(const std::string& upperName, CTSXQueryImp* query);
    const std::string& QueryName() const { return m_queryName; }
    void SetHeaderLines(int n) { m_headerLines = n; }
    void SetColumnSpacing(int n) { m_columnSpacing = n; }
    void SetStartRow(int n) { m_startRow = n; }
    void SetMaxRows(int n) { m_maxRows = n; }
    void SetColumnHeaders() { m_columnHeaders = true; }
    void SetHtmlTable() { m_htmlTable = true; }
    void SetBorder() { m_border = true; }

    // <TSCOL: a new column being built; null outside one.
    CTableColumn& BeginColumn();
    CTableColumn* CurrentColumn() { return m_current.get(); }
    // HEADER on any column turns the header row on.
    void SetColumnHeader(const std::string& header);
    // End of the TSCOL tag: a column without TEXT is refused.
    void EndColumn();

    // The whole table; cell(text, row) evaluates a column's TEXT for a 0-based row.
    std::string Write(const std::function<std::string(const std::string&, int)>& cell) const;

    // A text fitted to a preformatted column: markup kept, entities counted as one.
    static std::string FitToColumn(const std::string& text, const CTableColumn& column);
    static std::size_t VisibleLength(const std::string& text);

private:
    std::string WritePreformatted(const std::function<std::string(const std::string&, int)>& cell) const;
    std::string WriteHtml(const std::function<std::string(const std::string&, int)>& cell) const;
    int LastRow() const;

    std::string m_queryName;
    CTSXQueryImp* m_query = nullptr;
    bool m_columnHeaders = false;
    int m_headerLines = 2;
    int m_columnSpacing = 2;
    bool m_htmlTable = false;
    int m_startRow = 1;
    int m_maxRows = -1;
    bool m_border = false;
    std::unique_ptr<CTableColumn> m_current;
    std::vector<CTableColumn> m_columns;
};
