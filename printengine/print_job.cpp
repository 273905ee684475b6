#include "printengine/print_job.h"

#include <algorithm>
#include <fstream>

#include "interfaces/print_api.h"
#include "platform/ascii_text.h"
#include "printengine/report_file_read.h"

namespace tessaro::print {

namespace {

std::string WithoutAt(const std::string& name) {
    std::string n = Trim(name);
    return !n.empty() && n[0] == '@' ? n.substr(1) : n;
}

}  // namespace

class JobRow : public FormulaRow {
public:
    JobRow(const PrintJob& job, const Row& row) : m_job(job), m_row(row) {}
    Value Column(int index) const override {
        return index >= 0 && size_t(index) < m_row.size() ? m_row[size_t(index)] : Value{};
    }
    Value NamedFormula(const std::string& name, int depth) const override {
        return m_job.EvaluateNamed(name, m_row, depth);
    }

private:
    const PrintJob& m_job;
    const Row& m_row;
};

PrintJob::PrintJob(const std::string& reportPath) {
    std::string error;
    if (!LoadReportDefinition(reportPath, &m_def, &error)) throw FormulaError(kErrReportFile, error);
    for (const NamedFormula& f : m_def.formulas) m_formulas[platform::LowerAscii(f.name)] = {f.text, nullptr};
    // Parsed once every name is known, so formulas may refer to each other in any order.
    for (auto& [name, entry] : m_formulas) entry.second = ParseFormula(entry.first, Names());
    for (const std::string& column : m_def.columns) m_columns.push_back(ParseFormula(column, Names()));
    SetSelection(m_def.selection);
    int n = 0;
    for (const std::string& item : SplitTopLevel(m_def.sort)) {
        std::string field = item;
        bool ascending = true;
        std::string lower = platform::LowerAscii(field);
        if (lower.size() > 5 && lower.ends_with(" desc")) {
            ascending = false;
            field.resize(field.size() - 5);
        } else if (lower.size() > 4 && lower.ends_with(" asc"))
            field.resize(field.size() - 4);
        SetSortField(n++, Trim(field), ascending);
    }
    m_logOn = {m_def.table.server, m_def.table.database, m_def.table.user, m_def.table.password};
}

int PrintJob::FieldColumn(const std::string& reference) const {
    std::string ref = platform::LowerAscii(Trim(reference));
    size_t dot = ref.find('.');
    if (dot != std::string::npos) {
        if (ref.substr(0, dot) != platform::LowerAscii(m_def.table.name)) return -1;
        ref = ref.substr(dot + 1);
    }
    for (size_t i = 0; i < m_def.table.fields.size(); ++i) {
        if (platform::LowerAscii(m_def.table.fields[i]) == ref) return int(i);
    }
    return -1;
}

FormulaNames PrintJob::Names() const {
    return {[this](const std::string& f) { return FieldColumn(f); },
            [this](const std::string& f) { return m_formulas.count(platform::LowerAscii(f)) != 0; }};
}

void PrintJob::SetSelection(const std::string& text) {
    m_selection = ParseFormula(text, Names());
    m_selectionText = text;
}

std::string PrintJob::GetFormula(const std::string& name) const {
    auto it = m_formulas.find(platform::LowerAscii(WithoutAt(name)));
    if (it == m_formulas.end()) throw FormulaError(kErrUnknownFormula, "There is no formula named " + name + ".");
    return it->second.first;
}

void PrintJob::SetFormula(const std::string& name, const std::string& text) {
    auto it = m_formulas.find(platform::LowerAscii(WithoutAt(name)));
    if (it == m_formulas.end()) throw FormulaError(kErrUnknownFormula, "There is no formula named " + name + ".");
    it->second.second = ParseFormula(text, Names());
    it->second.first = text;
}

void PrintJob::SetSortField(int n, const std::string& field, bool ascending) {
    if (n < 0 || size_t(n) > m_sort.size())
        throw FormulaError(kErrUnknownField, "Sort field " + std::to_string(n) + " is out of order.");
    Formula key;
    try {
        key = ParseFormula(field, Names());
    } catch (const FormulaError& e) {
        throw FormulaError(kErrUnknownField, "The sort field " + field + " is not valid: " + e.what());
    }
    if (!key) throw FormulaError(kErrUnknownField, "A sort field is empty.");
    SortField sort{field, key, ascending};
    if (size_t(n) == m_sort.size())
        m_sort.push_back(sort);
    else
        m_sort[size_t(n)] = sort;
}

Value PrintJob::EvaluateNamed(const std::string& lowerName, const Row& row, int depth) const {
    auto it = m_formulas.find(lowerName);
    if (it == m_formulas.end() || !it->second.second) return Value::OfText("");
    return Evaluate(it->second.second, JobRow(*this, row), depth);
}

std::string PrintJob::Render(std::vector<Row> rows) const {
    std::vector<Row> kept;
    for (Row& row : rows) {
        if (!m_selection || IsTrue(Evaluate(m_selection, JobRow(*this, row)))) kept.push_back(std::move(row));
    }
    if (!m_sort.empty()) {
        std::vector<std::pair<std::vector<Value>, size_t>> keys;
        for (size_t i = 0; i < kept.size(); ++i) {
            std::vector<Value> k;
            for (const SortField& s : m_sort) k.push_back(Evaluate(s.key, JobRow(*this, kept[i])));
            keys.push_back({std::move(k), i});
        }
        std::stable_sort(keys.begin(), keys.end(), [this](const auto& a, const auto& b) {
            for (size_t f = 0; f < m_sort.size(); ++f) {
                int c = CompareValues(a.first[f], b.first[f]);
                if (c != 0) return m_sort[f].ascending ? c < 0 : c > 0;
            }
            return false;
        });
        std::vector<Row> sorted;
        for (auto& k : keys) sorted.push_back(std::move(kept[k.second]));
        kept = std::move(sorted);
    }
    std::vector<std::vector<std::string>> cells;
    for (const Row& row : kept) {
        std::vector<std::string> line;
        for (const Formula& column : m_columns) line.push_back(ValueText(Evaluate(column, JobRow(*this, row))));
        cells.push_back(std::move(line));
    }
    std::vector<std::string> headings = m_def.headings;
    for (size_t i = headings.size(); i < m_def.columns.size(); ++i) {
        std::string h = m_def.columns[i];
        if (h.size() > 2 && h.front() == '{' && h.back() == '}') h = h.substr(1, h.size() - 2);
        headings.push_back(h);
    }
    headings.resize(m_def.columns.size());
    return RenderHtml(m_def.title, headings, cells, m_def.image, m_subtype, PictureFileName(m_def));
}

std::string PicturePath(const ReportDefinition& definition) {
    const std::string& picture = definition.picture;
    if (picture.empty() || picture[0] == '/') return picture;
    size_t slash = definition.path.rfind('/');
    return (slash == std::string::npos ? std::string() : definition.path.substr(0, slash + 1)) + picture;
}

std::string PictureFileName(const ReportDefinition& definition) {
    const std::string& picture = definition.picture;
    size_t slash = picture.find_last_of("/\\");
    return slash == std::string::npos ? picture : picture.substr(slash + 1);
}

namespace {

// Copies the report's picture beside the exported page, where the page's link finds it.
void ExportPicture(const ReportDefinition& definition, const std::string& exportPath) {
    std::string name = PictureFileName(definition);
    if (name.empty()) return;
    std::string source = PicturePath(definition);
    std::string bytes;
    if (!ReadReportFile(source, &bytes))
        throw FormulaError(kErrExport, "The picture file " + source + " cannot be read.");
    size_t slash = exportPath.rfind('/');
    std::string target = (slash == std::string::npos ? std::string() : exportPath.substr(0, slash + 1)) + name;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw FormulaError(kErrExport, "The picture could not be written to " + target + ".");
}

}  // namespace

void PrintJob::Print(void* privateConnection) const {
    if (!m_exportSet) throw FormulaError(kErrExport, "No export destination was set for the report.");
    std::vector<Row> rows = m_def.table.file.empty() ? ReadOdbcRows(m_def.table, privateConnection, m_logOn)
                                                     : ReadFileRows(m_def.table, m_def.path);
    std::string html = Render(std::move(rows));
    std::ofstream out(m_exportPath, std::ios::binary | std::ios::trunc);
    out << html;
    out.close();
    if (!out) throw FormulaError(kErrExport, "The report could not be written to " + m_exportPath + ".");
    ExportPicture(m_def, m_exportPath);
}

}  // namespace tessaro::print
