#include "engine/templates/tags/table/table_engine.h"

#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "engine/templates/core/query_results.h"

void CTableColumn::SetAlignment(const std::string& value) {
    std::string upper = UpperCopy(TrimmedCopy(value));
    alignment = upper == "RIGHT" ? Right : upper == "CENTER" ? Center : Left;
}

void CTableTag::SetQuery(const std::string& upperName, CTSXQueryImp* query) {
    m_queryName = upperName;
    m_query = query;
}

CTableColumn& CTableTag::BeginColumn() {
    m_current = std::make_unique<CTableColumn>();
    return *m_current;
}

void CTableTag::SetColumnHeader(const std::string& header) {
    if (m_current) m_current->header = header;
    m_columnHeaders = true;
}

void CTableTag::EndColumn() {
    if (!m_current) return;
    if (m_current->text.empty())
        throw new CWebException("Invalid TSCOL tag (TEXT attribute not specified)",
                                "The TSCOL tag requires the specification of the TEXT attribute (the TEXT attribute "
                                "indicates the text to display to the user in the table column).");
    m_columns.push_back(std::move(*m_current));
    m_current.reset();
}

namespace {

// The length of the entity that starts at text[i] ('&'), or 0 when it is no entity:
// a ';' within the next 7 characters with no blank, tab or line feed before it.
std::size_t EntityLength(const std::string& text, std::size_t i) {
    for (std::size_t k = 1; k < 8 && i + k < text.size(); ++k) {
        char ch = text[i + k];
        if (ch == ';') return k + 1;
        if (ch == ' ' || ch == '\t' || ch == '\n') return 0;
    }
    return 0;
}

}  // namespace

std::size_t CTableTag::VisibleLength(const std::string& text) {
    std::size_t count = 0;
    bool markup = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        if (ch == '<') {
            markup = true;
        } else if (ch == '>') {
            markup = false;
        } else if (!markup) {
            ++count;
            if (ch == '&') {
                std::size_t entity = EntityLength(text, i);
                if (entity > 0) i += entity - 1;
            }
        }
    }
    return count;
}

std::string CTableTag::FitToColumn(const std::string& text, const CTableColumn& column) {
    std::size_t width = column.width < 0 ? 0 : static_cast<std::size_t>(column.width);
    std::size_t visible = VisibleLength(text);
    if (visible > width) {
        // Markup stays whole so that the cell closes what it opens.
        std::string cut;
        std::size_t count = 0;
        bool markup = false;
        for (char ch : text) {
            if (ch == '<') markup = true;
            if (markup || ch == '>') {
                cut += ch;
                if (ch == '>') markup = false;
                continue;
            }
            if (++count <= width) cut += ch;
        }
        return cut;
    }
    if (visible == width) return text;
    std::size_t pad = width - visible;
    switch (column.alignment) {
        case CTableColumn::Right:
            return std::string(pad, ' ') + text;
        case CTableColumn::Center:
            return std::string(pad / 2, ' ') + text + std::string(pad / 2 + pad % 2, ' ');
        default:
            return text + std::string(pad, ' ');
    }
}

int CTableTag::LastRow() const {
    int last = m_query->GetRowCount();
    // MAXROWS is a row number here, not a count from STARTROW; it bounds both forms.
    if (m_maxRows != -1 && last >= m_maxRows) last = m_maxRows;
    return last;
}

std::string CTableTag::Write(const std::function<std::string(const std::string&, int)>& cell) const {
    if (m_query == nullptr)
        throw new CWebException("Error occurred while processing TS tag",
                                "You must specify a QUERY atttribute for use with the TSTABLE tag.");
    return m_htmlTable ? WriteHtml(cell) : WritePreformatted(cell);
}

std::string CTableTag::WritePreformatted(const std::function<std::string(const std::string&, int)>& cell) const {
    std::string out = "<PRE>\n";
    std::string spacing(m_columnSpacing > 0 ? static_cast<std::size_t>(m_columnSpacing) : 0, ' ');
    if (m_columnHeaders) {
        for (const CTableColumn& column : m_columns) out += FitToColumn(column.header, column) + spacing;
        out += "\n";
        for (int i = 1; i < m_headerLines; ++i) out += "\n";
    }
    for (int r = m_startRow - 1; r < LastRow(); ++r) {
        for (const CTableColumn& column : m_columns) out += FitToColumn(cell(column.text, r), column) + spacing;
        out += "\n";
    }
    return out + "</PRE>\n";
}

namespace {

std::string HtmlCell(const std::string& text, const CTableColumn& column, const char* tag) {
    static const char* const kAlign[] = {" ALIGN=LEFT ", " ALIGN=RIGHT ", " ALIGN=CENTER "};
    std::string out = std::string("<") + tag + " " + kAlign[column.alignment];
    if (column.widthGiven) out += " WIDTH=" + std::to_string(column.width) + "% ";
    return out + ">" + text + "</" + tag + ">";
}

}  // namespace

std::string CTableTag::WriteHtml(const std::function<std::string(const std::string&, int)>& cell) const {
    std::string out = std::string("<TABLE ") + (m_border ? " BORDER " : "") + " >";
    if (m_columnHeaders) {
        out += "<TR>";
        for (const CTableColumn& column : m_columns) out += HtmlCell(column.header, column, "TH");
        out += "</TR>\n";
    }
    for (int r = m_startRow - 1; r < LastRow(); ++r) {
        out += "<TR>";
        for (const CTableColumn& column : m_columns) out += HtmlCell(cell(column.text, r), column, "TD");
        out += "</TR>\n";
    }
    return out + "</TABLE>\n";
}
