// Every example of the template guide (docs/templates.md) runs through the whole road, browser ->
// lighttpd -> ksml -> tsengine, and must give the page the guide shows, so the guide cannot
// drift from the engine.
//
// The guide marks its examples with HTML comments that the reader does not see:
//   <!-- example: NAME [query=URL-QUERY] [status=CODE] -->   the next fenced block is a template,
//                                                          requested as NAME.tsm
//   <!-- file: PATH -->                                    the next fenced block is written as
//                                                          PATH, for examples that include it
//   <!-- expect -->                                        the next fenced block is the page the
//                                                          last example gives
// Examples run in the order they appear, all against one SQLite data source named Guide.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/support/ci_require.h"

namespace {

struct GuideExample {
    std::string name;
    int line = 0;  // of the marker, for the failure message
    std::string query;
    int status = 200;
    std::string tmpl;
    std::optional<std::string> expected;
    // Files the example needs, written before it runs.
    std::vector<std::pair<std::string, std::string>> files;
};

std::string ReadSourceFile(const std::string& relative) {
    std::ifstream in(std::string(TESSARO_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ReadGuide() {
    return ReadSourceFile("docs/templates.md");
}

// The anchor a Markdown viewer gives a heading: lower case, blanks to '-', and every character
// but letters, digits, '-' and '_' dropped.
std::string HeadingAnchor(const std::string& heading) {
    std::string anchor;
    for (unsigned char c : heading) {
        if (std::isalnum(c) || c == '-' || c == '_')
            anchor += static_cast<char>(std::tolower(c));
        else if (c == ' ')
            anchor += '-';
    }
    return anchor;
}

// The value of `key=value` inside a marker ("" when absent); values end at a blank.
std::string MarkerValue(const std::string& marker, const std::string& key) {
    std::size_t at = marker.find(" " + key + "=");
    if (at == std::string::npos) return {};
    at += key.size() + 2;
    return marker.substr(at, marker.find(' ', at) - at);
}

// The contents of the fenced block that starts on the first line after `from` beginning with
// ``` (the block's text keeps its line ends; the fences do not).
std::string NextFencedBlock(const std::vector<std::string>& lines, std::size_t& from) {
    while (from < lines.size() && lines[from].rfind("```", 0) != 0) ++from;
    std::string block;
    for (++from; from < lines.size() && lines[from].rfind("```", 0) != 0; ++from) block += lines[from] + "\n";
    return block;
}

std::vector<GuideExample> ParseGuide(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);

    std::vector<GuideExample> examples;
    std::vector<std::pair<std::string, std::string>> pendingFiles;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind("<!-- ", 0) != 0) continue;
        std::string marker = line.substr(4, line.rfind("-->") - 4);
        if (marker.rfind(" example: ", 0) == 0) {
            GuideExample example;
            example.name = marker.substr(10, marker.find(' ', 10) - 10);
            example.line = static_cast<int>(i + 1);
            example.query = MarkerValue(marker, "query");
            std::string status = MarkerValue(marker, "status");
            if (!status.empty()) example.status = std::stoi(status);
            example.files = std::move(pendingFiles);
            pendingFiles.clear();
            example.tmpl = NextFencedBlock(lines, ++i);
            examples.push_back(std::move(example));
        } else if (marker.rfind(" file: ", 0) == 0) {
            std::string path = marker.substr(7, marker.find(' ', 7) - 7);
            pendingFiles.emplace_back(path, NextFencedBlock(lines, ++i));
        } else if (marker.rfind(" expect ", 0) == 0 && !examples.empty()) {
            examples.back().expected = NextFencedBlock(lines, ++i);
        }
    }
    return examples;
}

// The guide leaves out the blank lines at the start and end of a page (the line breaks that
// follow tags on lines of their own).
std::string TrimLineBreaks(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::size_t start = text.find_first_not_of("\r\n");
    return start == std::string::npos ? std::string() : text.substr(start);
}

class GuideExamples : public e2e::SiteTest {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
        odbc_.emplace(site.home(), "Guide", site.home() + "/guide.db");
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
};

// Every link from the guides into a README section lands on a heading of the README.
TEST(GuideLinks, ReadmeSectionsExist) {
    std::set<std::string> anchors;
    std::istringstream readme(ReadSourceFile("README.md"));
    for (std::string line; std::getline(readme, line);) {
        std::size_t level = line.find_first_not_of('#');
        if (level != 0 && level != std::string::npos && line[level] == ' ')
            anchors.insert(HeadingAnchor(line.substr(level + 1)));
    }
    ASSERT_TRUE(anchors.count("adding-a-data-source"));
    int links = 0;
    for (const char* guide : {"docs/templates.md", "docs/wizards.md"}) {
        const std::string text = ReadSourceFile(guide);
        const std::string target = "](../README.md#";
        for (std::size_t at = text.find(target); at != std::string::npos; at = text.find(target, at + 1)) {
            std::size_t start = at + target.size();
            std::string anchor = text.substr(start, text.find(')', start) - start);
            ++links;
            EXPECT_TRUE(anchors.count(anchor)) << guide << " links to README.md#" << anchor << ", which is no heading";
        }
    }
    EXPECT_GT(links, 0);
}

TEST(GuideMarkers, EveryExampleHasItsExpectedPage) {
    std::vector<GuideExample> examples = ParseGuide(ReadGuide());
    ASSERT_FALSE(examples.empty()) << "docs/templates.md has no examples";
    for (const GuideExample& example : examples) {
        EXPECT_TRUE(example.expected.has_value())
            << "example " << example.name << " (line " << example.line << ") has no <!-- expect --> block";
        EXPECT_FALSE(TrimLineBreaks(example.tmpl).empty()) << "example " << example.name << " has no template";
    }
}

TEST_F(GuideExamples, EveryExampleGivesThePageTheGuideShows) {
    for (const GuideExample& example : ParseGuide(ReadGuide())) {
        SCOPED_TRACE("docs/templates.md:" + std::to_string(example.line) + " example " + example.name);
        for (const auto& [path, text] : example.files) site.WriteDocument(path, text);
        auto page = Page(example.name + ".tsm", example.tmpl, example.query);
        EXPECT_EQ(page.status, example.status) << page.error << page.body;
        EXPECT_EQ(TrimLineBreaks(page.body), TrimLineBreaks(example.expected.value_or("")));
    }
}

}  // namespace
