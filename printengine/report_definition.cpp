#include "printengine/report_definition.h"

#include <cctype>
#include <sstream>

#include "printengine/report_file_read.h"
#include "platform/ascii_text.h"

namespace tessaro::print {

std::string Trim(const std::string& text) {
    return std::string(platform::TrimAscii(text, " \t\r\n"));
}

std::vector<std::string> SplitTopLevel(const std::string& text) {
    std::vector<std::string> items;
    std::string current;
    int depth = 0;
    char quote = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '{' || c == '(') {
            ++depth;
        } else if ((c == '}' || c == ')') && depth > 0) {
            --depth;
        } else if (c == ',' && depth == 0) {
            items.push_back(Trim(current));
            current.clear();
            continue;
        }
        current += c;
    }
    if (!Trim(current).empty() || !items.empty()) items.push_back(Trim(current));
    return items;
}

namespace {

bool IsIdentifier(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

}  // namespace

bool ParseReportDefinition(const std::string& text, ReportDefinition* def, std::string* error) {
    std::istringstream in(text);
    std::string line, section;
    int number = 0;
    bool sawTable = false;
    auto fail = [&](const std::string& why) {
        *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
        if (trimmed.front() == '[') {
            if (trimmed.back() != ']') return fail("a section name is not closed");
            section = platform::LowerAscii(Trim(trimmed.substr(1, trimmed.size() - 2)));
            if (section != "report" && section != "table" && section != "formulas")
                return fail("unknown section [" + section + "]");
            sawTable = sawTable || section == "table";
            continue;
        }
        size_t eq = trimmed.find('=');
        if (eq == std::string::npos) return fail("a line without '='");
        std::string key = Trim(trimmed.substr(0, eq));
        std::string value = Trim(trimmed.substr(eq + 1));
        std::string lkey = platform::LowerAscii(key);
        if (section == "report") {
            if (lkey == "title")
                def->title = value;
            else if (lkey == "columns")
                def->columns = SplitTopLevel(value);
            else if (lkey == "headings")
                def->headings = SplitTopLevel(value);
            else if (lkey == "selection")
                def->selection = value;
            else if (lkey == "sort")
                def->sort = value;
            else if (lkey == "image")
                def->image = value;
            else if (lkey == "picture")
                def->picture = value;
            else
                return fail("unknown key " + key + " in [Report]");
        } else if (section == "table") {
            TableDefinition& t = def->table;
            if (lkey == "databaselibrary")
                t.databaseLibrary = value;
            else if (lkey == "name")
                t.name = value;
            else if (lkey == "description")
                t.description = value;
            else if (lkey == "databasetype")
                t.databaseType = std::atoi(value.c_str());
            else if (lkey == "fields")
                t.fields = SplitTopLevel(value);
            else if (lkey == "server")
                t.server = value;
            else if (lkey == "database")
                t.database = value;
            else if (lkey == "user")
                t.user = value;
            else if (lkey == "password")
                t.password = value;
            else if (lkey == "table")
                t.table = value;
            else if (lkey == "sql")
                t.sql = value;
            else if (lkey == "file")
                t.file = value;
            else
                return fail("unknown key " + key + " in [Table]");
        } else if (section == "formulas") {
            std::string name = key[0] == '@' ? key.substr(1) : key;
            if (!IsIdentifier(name)) return fail("the formula name " + key + " is not a name");
            for (const NamedFormula& f : def->formulas) {
                if (platform::LowerAscii(f.name) == platform::LowerAscii(name)) return fail("the formula " + key + " is defined twice");
            }
            def->formulas.push_back({name, value});
        } else {
            return fail("a key before the first section");
        }
    }
    const TableDefinition& t = def->table;
    number = 0;
    if (!sawTable) return fail("no [Table] section");
    if (t.databaseLibrary.empty()) return fail("[Table] has no DatabaseLibrary");
    if (t.fields.empty()) return fail("[Table] has no Fields");
    for (const std::string& f : t.fields) {
        if (!IsIdentifier(f)) return fail("the field name '" + f + "' is not a name");
    }
    if (int(!t.table.empty()) + int(!t.sql.empty()) + int(!t.file.empty()) != 1)
        return fail("[Table] needs exactly one of Table, SQL and File");
    if (!t.table.empty() && !IsIdentifier(t.table)) return fail("the table name '" + t.table + "' is not a name");
    if (def->columns.empty()) return fail("[Report] has no Columns");
    return true;
}

bool LoadReportDefinition(const std::string& path, ReportDefinition* def, std::string* error) {
    std::string text;
    if (!ReadReportFile(path, &text)) {
        *error = "The report file " + path + " cannot be opened.";
        return false;
    }
    def->path = path;
    if (!ParseReportDefinition(text, def, error)) {
        *error = "The report file " + path + " is not valid (" + *error + ").";
        return false;
    }
    return true;
}

}  // namespace tessaro::print
