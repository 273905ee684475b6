// Every example of the template guide (docs/templates.md) and of the function reference
// (docs/functions.md) runs through the whole road, browser -> lighttpd -> ksml -> tsengine,
// and must give the page the text shows, so neither can drift from the engine.
//
// The guide marks its examples with HTML comments that the reader does not see:
//   <!-- example: NAME [query=URL-QUERY] [post=FORM-BODY] [status=CODE] [upload=FIELD:FILE:TYPE] [mkdir=DIR] -->
//                                                          the next fenced block is a template,
//                                                          requested as NAME.tsm (with post, a
//                                                          form posts that URL-encoded body; with
//                                                          upload, a form posts a small file of
//                                                          that name and type in FIELD; mkdir
//                                                          makes a folder below the site's root
//                                                          first)
//   <!-- file: PATH -->                                    the next fenced block is written as
//                                                          PATH, for examples that include it
//   <!-- expect -->                                        the next fenced block is the page the
//                                                          last example gives
//   <!-- error-example: NAME line=N shows=TEXT -->         the next fenced block is a template
//                                                          whose error page names line N and shows
//                                                          TEXT as the failing part
// Examples of a file run in the order they appear, all against one SQLite data source named
// Guide.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/ci_require.h"
#include "tests/common/file_text.h"

namespace {

struct GuideExample {
    std::string name;
    int line = 0;  // of the marker, for the failure message
    std::string query;
    std::string post;  // a form body, URL-encoded
    int status = 200;
    std::string upload;  // FIELD:FILE:TYPE
    std::string mkdir;
    std::string tmpl;
    std::optional<std::string> expected;
    // Files the example needs, written before it runs.
    std::vector<std::pair<std::string, std::string>> files;
};

using tessaro::test::ReadFileText;
using tessaro::test::ReadSourceText;

std::string ReadGuide() {
    return ReadSourceText("docs/templates.md");
}

std::string ReadReference() {
    return ReadSourceText("docs/functions.md");
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
            example.post = MarkerValue(marker, "post");
            example.upload = MarkerValue(marker, "upload");
            example.mkdir = MarkerValue(marker, "mkdir");
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

    // Each example of the file, in order, gives the page the file shows.
    void ExpectEveryExamplesPage(const char* file) {
        for (const GuideExample& example : ParseGuide(ReadSourceText(file))) {
            SCOPED_TRACE(std::string(file) + ":" + std::to_string(example.line) + " example " + example.name);
            for (const auto& [path, text] : example.files) site.WriteDocument(path, text);
            if (!example.mkdir.empty())
                std::filesystem::create_directories(site.document_root() + "/" + example.mkdir);
            e2e::HttpResponse page;
            if (!example.post.empty()) {
                site.WriteDocument(example.name + ".tsm", example.tmpl);
                page = e2e::HttpRequest(site.port(), "POST", "/" + example.name + ".tsm",
                                        {"Content-Type: application/x-www-form-urlencoded"}, example.post);
            } else if (example.upload.empty()) {
                page = Page(example.name + ".tsm", example.tmpl, example.query);
            } else {
                // The form's post: one file field, the file sent with the type a browser gives it.
                const std::size_t first = example.upload.find(':'), second = example.upload.find(':', first + 1);
                ASSERT_NE(second, std::string::npos) << example.upload;
                std::string contentType;
                std::string body = e2e::MultipartFileBody(example.upload.substr(0, first),
                                                          example.upload.substr(first + 1, second - first - 1),
                                                          "\x89PNG\r\n\x1a\n", &contentType);
                const std::string generic = "application/octet-stream";
                body.replace(body.find(generic), generic.size(), example.upload.substr(second + 1));
                site.WriteDocument(example.name + ".tsm", example.tmpl);
                page = e2e::HttpRequest(site.port(), "POST", "/" + example.name + ".tsm",
                                        {"Content-Type: " + contentType}, body);
            }
            EXPECT_EQ(page.status, example.status) << page.error << page.body;
            EXPECT_EQ(TrimLineBreaks(page.body), TrimLineBreaks(example.expected.value_or("")));
        }
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
};

// Every link from the guides into a README section lands on a heading of the README.
TEST(GuideLinks, ReadmeSectionsExist) {
    std::set<std::string> anchors;
    std::istringstream readme(ReadSourceText("README.md"));
    for (std::string line; std::getline(readme, line);) {
        std::size_t level = line.find_first_not_of('#');
        if (level != 0 && level != std::string::npos && line[level] == ' ')
            anchors.insert(HeadingAnchor(line.substr(level + 1)));
    }
    ASSERT_TRUE(anchors.count("adding-a-data-source"));
    int links = 0;
    for (const char* guide : {"docs/templates.md", "docs/wizards.md", "docs/functions.md", "docs/architecture.md"}) {
        const std::string text = ReadSourceText(guide);
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

// The headings of a Markdown file, as written (without the leading marks).
std::set<std::string> Headings(const std::string& relative) {
    std::set<std::string> headings;
    std::istringstream in(ReadSourceText(relative));
    for (std::string line; std::getline(in, line);) {
        std::size_t level = line.find_first_not_of('#');
        if (level != 0 && level != std::string::npos && line[level] == ' ') headings.insert(line.substr(level + 1));
    }
    return headings;
}

// Every section of the guides that a message of the engine or the gateway names ("see
// docs/templates.md, section \"Operators\"") is a heading of that guide.
TEST(GuideLinks, SectionsNamedByMessagesExist) {
    const std::regex named(R"re((docs/templates\.md|README\.md)[:,] (?:see its )?sections? \\"([^\\]+)\\"(?: and \\"([^\\]+)\\")?)re");
    int found = 0;
    for (const char* folder : {"engine", "database", "gateway", "support", "platform", "programs"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(TESSARO_SOURCE_DIR) + "/" + folder)) {
            if (entry.path().extension() != ".cpp") continue;
            const std::string relative = std::filesystem::relative(entry.path(), TESSARO_SOURCE_DIR).string();
            const std::string text = ReadSourceText(relative);
            for (std::sregex_iterator it(text.begin(), text.end(), named), end; it != end; ++it) {
                const std::set<std::string> headings = Headings((*it)[1]);
                for (int group : {2, 3}) {
                    if (!(*it)[group].matched) continue;
                    ++found;
                    EXPECT_TRUE(headings.count((*it)[group])) << relative << " names the section \"" << (*it)[group]
                                                              << "\" of " << (*it)[1] << ", which has no such heading";
                }
            }
        }
    }
    EXPECT_GT(found, 0);
}

// The sample application, the first pages a user sees, declares the encoding the guide asks for.
TEST(SampleApplication, PagesDeclareUtf8) {
    for (const char* page : {"samples/index.tsm", "samples/cities.tsm"})
        EXPECT_NE(ReadSourceText(page).find("<META CHARSET=\"utf-8\">"), std::string::npos) << page;
}

// The headings of a Markdown text as their anchors.
std::set<std::string> HeadingAnchors(const std::string& text) {
    std::set<std::string> anchors;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::size_t level = line.find_first_not_of('#');
        if (level != 0 && level != std::string::npos && line[level] == ' ')
            anchors.insert(HeadingAnchor(line.substr(level + 1)));
    }
    return anchors;
}

// Every link into the function reference, from the reference itself and from the guide,
// lands on one of its headings.
TEST(GuideLinks, ReferenceSectionsExist) {
    const std::set<std::string> anchors = HeadingAnchors(ReadReference());
    ASSERT_TRUE(anchors.count("upper-and-lower-case"));
    int links = 0;
    for (const auto& [file, target] : {std::pair<const char*, const char*>{"docs/functions.md", "](#"},
                                       {"docs/templates.md", "](functions.md#"},
                                       {"README.md", "](docs/functions.md#"}}) {
        const std::string text = ReadSourceText(file);
        const std::string marker = target;
        for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
            const std::size_t start = at + marker.size();
            const std::string anchor = text.substr(start, text.find(')', start) - start);
            ++links;
            EXPECT_TRUE(anchors.count(anchor))
                << file << " links to docs/functions.md#" << anchor << ", which is no heading";
        }
    }
    EXPECT_GT(links, 0);
}

// Every link into a section of the guide or of the architecture notes, from the README and
// the docs, lands on one of its headings.
TEST(GuideLinks, GuideAndArchitectureSectionsExist) {
    struct LinkKind {
        const char* from;
        const char* marker;
        const char* to;
    };
    int links = 0;
    for (const LinkKind& kind : {LinkKind{"docs/templates.md", "](#", "docs/templates.md"},
                                 LinkKind{"README.md", "](docs/templates.md#", "docs/templates.md"},
                                 LinkKind{"docs/functions.md", "](templates.md#", "docs/templates.md"},
                                 LinkKind{"docs/wizards.md", "](templates.md#", "docs/templates.md"},
                                 LinkKind{"docs/architecture.md", "](#", "docs/architecture.md"},
                                 LinkKind{"README.md", "](docs/architecture.md#", "docs/architecture.md"},
                                 LinkKind{"docs/templates.md", "](architecture.md#", "docs/architecture.md"},
                                 LinkKind{"docs/functions.md", "](architecture.md#", "docs/architecture.md"},
                                 LinkKind{"docs/wizards.md", "](architecture.md#", "docs/architecture.md"}}) {
        const std::set<std::string> anchors = HeadingAnchors(ReadSourceText(kind.to));
        const std::string text = ReadSourceText(kind.from);
        const std::string marker = kind.marker;
        for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
            const std::size_t start = at + marker.size();
            const std::string anchor = text.substr(start, text.find(')', start) - start);
            ++links;
            EXPECT_TRUE(anchors.count(anchor))
                << kind.from << " links to " << kind.to << "#" << anchor << ", which is no heading";
        }
    }
    EXPECT_GT(links, 0);
}

TEST(GuideMarkers, EveryExampleHasItsExpectedPage) {
    for (const char* file : {"docs/templates.md", "docs/functions.md"}) {
        std::vector<GuideExample> examples = ParseGuide(ReadSourceText(file));
        ASSERT_FALSE(examples.empty()) << file << " has no examples";
        std::set<std::string> names;
        for (const GuideExample& example : examples) {
            EXPECT_TRUE(example.expected.has_value()) << file << ": example " << example.name << " (line "
                                                      << example.line << ") has no <!-- expect --> block";
            EXPECT_FALSE(TrimLineBreaks(example.tmpl).empty())
                << file << ": example " << example.name << " has no template";
            EXPECT_TRUE(names.insert(example.name).second) << file << ": a second example named " << example.name;
        }
    }
}

struct GuideErrorExample {
    std::string name;
    long line = 0;
    std::string shows;
    std::string tmpl;
};

std::vector<GuideErrorExample> ParseErrorExamples(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::vector<GuideErrorExample> examples;
    const std::string start = "<!-- error-example: ";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(start, 0) != 0) continue;
        std::string marker = lines[i].substr(start.size(), lines[i].rfind(" -->") - start.size());
        GuideErrorExample example;
        example.name = marker.substr(0, marker.find(' '));
        example.line = std::stol(MarkerValue(" " + marker, "line"));
        std::size_t shows = marker.find(" shows=");
        if (shows != std::string::npos) example.shows = marker.substr(shows + 7);
        example.tmpl = NextFencedBlock(lines, ++i);
        examples.push_back(std::move(example));
    }
    return examples;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

// The error examples of the guide and the reference fail on the line the text marks, with LF
// and with CR LF line ends: the page names that line, quotes it with its number, and shows
// the failing part as it is written.
TEST_F(GuideExamples, ErrorExamplesNameTheLineOfTheError) {
    std::vector<GuideErrorExample> examples = ParseErrorExamples(ReadGuide());
    ASSERT_GE(examples.size(), 3u);
    const std::vector<GuideErrorExample> reference = ParseErrorExamples(ReadReference());
    ASSERT_FALSE(reference.empty());
    examples.insert(examples.end(), reference.begin(), reference.end());
    for (const GuideErrorExample& example : examples) {
        std::vector<std::string> lines;
        std::istringstream in(example.tmpl);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        ASSERT_LE(example.line, static_cast<long>(lines.size())) << example.name;
        for (bool crlf : {false, true}) {
            const std::string file = "error-" + example.name + (crlf ? "-crlf" : "-lf") + ".tsm";
            SCOPED_TRACE(file);
            auto page = Page(file, crlf ? WithCrLf(example.tmpl) : example.tmpl);
            EXPECT_EQ(page.status, 500) << page.error << page.body;
            EXPECT_NE(page.body.find("The error occurred on (or near) line " + std::to_string(example.line) +
                                     " of the template file " + site.document_root() + "/" + file),
                      std::string::npos)
                << page.body;
            char number[16];
            std::snprintf(number, sizeof number, "%4ld: ", example.line);
            EXPECT_NE(page.body.find(number + Escaped(lines[static_cast<std::size_t>(example.line - 1)])),
                      std::string::npos)
                << page.body;
            EXPECT_NE(page.body.find(Escaped(example.shows)), std::string::npos) << example.shows << "\n" << page.body;
        }
    }
}

// The guide's UTF-8 example read as a browser reads it: the bytes decoded with the character
// set the reply declares, then parsed as HTML; the accented letters arrive whole.
TEST_F(GuideExamples, Utf8ExampleArrivesIntactInABrowser) {
    REQUIRE_OR_SKIP(std::filesystem::exists("/usr/bin/python3"), "python3 is not installed");
    std::optional<GuideExample> utf8;
    for (GuideExample& example : ParseGuide(ReadGuide()))
        if (example.name == "utf-8") utf8 = example;
    ASSERT_TRUE(utf8.has_value()) << "docs/templates.md has no utf-8 example";
    auto page = Page("utf-8.tsm", utf8->tmpl);
    ASSERT_EQ(page.status, 200) << page.error << page.body;
    const std::string type = page.Header("Content-type");
    EXPECT_EQ(type, "text/html; charset=utf-8");
    const std::string dir = site.home() + "/browser";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/page.bin", std::ios::binary) << page.body;
    std::ofstream(dir + "/read.py") << R"py(import html.parser, re, sys
raw = open(sys.argv[1], 'rb').read()
declared = re.search(r'charset=([\w-]+)', sys.argv[2])
meta = re.search(rb'<meta charset="([\w-]+)"', raw, re.I)
charset = declared.group(1) if declared else (meta.group(1).decode() if meta else 'windows-1252')
class Text(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.parts = []
    def handle_data(self, data):
        self.parts.append(data)
reader = Text()
reader.feed(raw.decode(charset))
sys.stdout.buffer.write(' '.join(p.strip() for p in reader.parts if p.strip()).encode('utf-8'))
)py";
    const std::string out = dir + "/text.out";
    const int status = e2e::RunProgram({"/usr/bin/python3", dir + "/read.py", dir + "/page.bin", type}, {}, out);
    const std::string text = ReadFileText(out);
    ASSERT_EQ(status, 0) << text;
    EXPECT_EQ(text, "Caf\xC3\xA9 caf\xC3\xA9 cr\xC3\xA8me CAF\xC3\x89 CR\xC3\x88ME 2");
}

TEST_F(GuideExamples, EveryExampleGivesThePageTheGuideShows) {
    ExpectEveryExamplesPage("docs/templates.md");
}

TEST_F(GuideExamples, EveryFunctionExampleGivesThePageTheReferenceShows) {
    ExpectEveryExamplesPage("docs/functions.md");
}

}  // namespace
