// The guide's table of every tag (docs/templates.md, "Every tag") against the template grammar
// (tools/grammars/template.grammar): every tag the lexer knows is in the table, the table names
// no tag the lexer does not know, and its "KS too" column says which tags take the older prefix.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/common/file_text.h"

namespace {

using tessaro::test::SourceLines;

std::vector<std::string> SplitAlternatives(const std::string& pattern) {
    std::vector<std::string> alternatives;
    std::size_t start = 0;
    for (std::size_t bar; (bar = pattern.find(" | ", start)) != std::string::npos; start = bar + 3)
        alternatives.push_back(pattern.substr(start, bar - start));
    alternatives.push_back(pattern.substr(start));
    return alternatives;
}

// The tags the grammar's token patterns open with ("TSIF", "/TSIF", "TSX_"), each with whether
// some pattern of it also takes "KS" in place of "TS" (the {TK} macro).
std::map<std::string, bool> GrammarTags() {
    std::vector<std::string> sectionNames;
    std::vector<std::string> patterns;
    for (const std::string& line : SourceLines("tools/grammars/template.grammar")) {
        if (line.rfind("define sectionName = ", 0) == 0) sectionNames = SplitAlternatives(line.substr(21));
        if (line.rfind("token ", 0) != 0) continue;
        const std::size_t colon = line.find(" : ");
        if (colon != std::string::npos) patterns.push_back(line.substr(colon + 3));
    }
    EXPECT_FALSE(sectionNames.empty()) << "the grammar defines no sectionName";
    // A tag's start: "<", blanks, an optional "/" (with blanks), the optional older prefix and
    // the keyword, whose letters follow "TS" unless the prefix stands before them.
    const std::regex start(R"re(^"<" \{ws\}\* (?:"(/)" (?:\{ws\}[*+] )?)?(\{TK\} )?"(/?)([A-Za-z_]+)>?")re");
    std::map<std::string, bool> tags;
    for (const std::string& pattern : patterns) {
        for (std::string alternative : SplitAlternatives(pattern)) {
            std::vector<std::string> expanded{alternative};
            const std::size_t macro = alternative.find("{sectionName}");
            if (macro != std::string::npos) {
                expanded.clear();
                for (const std::string& name : sectionNames)
                    expanded.push_back(alternative.substr(0, macro) + name + alternative.substr(macro + 13));
            }
            for (const std::string& text : expanded) {
                std::smatch match;
                if (!std::regex_search(text, match, start)) continue;
                const bool older = match[2].matched;
                std::string name = std::string(match[1]) + std::string(match[3]) + (older ? "TS" : "") +
                                   std::string(match[4]);
                // The start of any tag inside a section body ("<TS") names no tag.
                if (name == "TS" || name == "/TS") continue;
                tags[name] = tags[name] || older;
            }
        }
    }
    return tags;
}

struct TableRow {
    int line = 0;
    std::vector<std::string> tags;
    std::string olderPrefix;  // the "KS too" cell
};

// The rows of the table under "### Every tag": the tags of the first cell, written in
// backticks as a template writes them (`<TSIF>`, `</TSIF>`, `<TSX_NAME>`), and the third cell.
std::vector<TableRow> GuideTable() {
    const std::vector<std::string> lines = SourceLines("docs/templates.md");
    std::vector<TableRow> rows;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind("#", 0) == 0) inSection = line == "### Every tag";
        if (!inSection || line.rfind("| `<", 0) != 0) continue;
        std::vector<std::string> cells;
        std::size_t from = 1;
        for (std::size_t bar; (bar = line.find(" |", from)) != std::string::npos; from = bar + 2)
            cells.push_back(line.substr(from + 1, bar - from - 1));
        EXPECT_EQ(cells.size(), 4u) << "docs/templates.md:" << i + 1;
        if (cells.size() < 3) continue;
        TableRow row;
        row.line = static_cast<int>(i + 1);
        row.olderPrefix = cells[2];
        for (std::size_t open = cells[0].find("`<"); open != std::string::npos; open = cells[0].find("`<", open + 1)) {
            const std::size_t close = cells[0].find(">`", open);
            if (close == std::string::npos) break;
            std::string tag = cells[0].substr(open + 2, close - open - 2);
            if (tag.rfind("TSX_", 0) == 0) tag = "TSX_";
            row.tags.push_back(tag);
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(GuideTagTable, ListsEveryTagOfTheGrammarAndNoOther) {
    const std::map<std::string, bool> grammar = GrammarTags();
    // The start tags of every family, and their end tags.
    for (const char* known : {"TSIF", "/TSIF", "TSQUERY", "TSSQL", "/TSQUERY", "TSX_", "TSOUTPUT", "/TSOUTPUT",
                              "/TSREPORT", "TSCOL", "/TSTABLE", "TSBREAK"})
        ASSERT_TRUE(grammar.count(known)) << "the grammar's tags were not read: " << known;
    const std::vector<TableRow> rows = GuideTable();
    ASSERT_FALSE(rows.empty()) << "docs/templates.md has no table under \"Every tag\"";
    std::set<std::string> listed;
    for (const TableRow& row : rows) {
        const std::string where = "docs/templates.md:" + std::to_string(row.line);
        EXPECT_TRUE(row.olderPrefix == "yes" || row.olderPrefix == "no") << where << ": \"" << row.olderPrefix << "\"";
        for (const std::string& tag : row.tags) {
            EXPECT_TRUE(listed.insert(tag).second) << where << ": " << tag << " is listed twice";
            const auto found = grammar.find(tag);
            if (found == grammar.end()) {
                ADD_FAILURE() << where << " lists " << tag << ", which the grammar does not know";
                continue;
            }
            EXPECT_EQ(found->second ? "yes" : "no", row.olderPrefix)
                << where << ": whether " << tag << " also takes the prefix KS";
        }
    }
    for (const auto& [tag, older] : grammar)
        EXPECT_TRUE(listed.count(tag)) << tag << " is a tag of the grammar but missing from the guide's table";
}

}  // namespace
