// The template error page: where the error is, the template's lines around it,
// and the request's particulars.
#include <cstdio>
#include <deque>

#include "engine/parser/ss_exception.h"
#include "engine/server/request_reader.h"
#include "engine/templates/file_lines.h"
#include "engine/templates/query_page.h"
#include "engine/templates/template_descriptions.h"
#include "engine/templates/template_parser.h"
#include "platform/path_util.h"
#include "support/file_helpers.h"
#include "support/html_escape.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"

namespace {

constexpr std::size_t kExcerptLines = 21;
constexpr int kNonBlankLinesBack = 5;
constexpr std::size_t kMaxListedTokens = 15;

bool IsBlank(const std::string& line) {
    return TrimmedCopy(line).empty();
}

// A message shows the file as the disk names it (a path given in another case is found
// without regard to case).
std::string AsOnDisk(const std::string& path) {
    return tessaro::platform::ResolvePathNoCase(path);
}

}  // namespace

std::string CQueryPage::WriteErrorReport(bool syntaxError) {
    CTemplateParser* parser = currentTemplateParser();
    if (parser == nullptr) return {};
    long line = !syntaxError && m_runningLine > 0 ? m_runningLine : parser->ErrorLine(syntaxError);
    std::string path = templateFileName();
    std::string text = "The error occurred on (or near) line " + std::to_string(line) + " of the template file " +
                       HtmlEscape(AsOnDisk(path)) + "<P>";

    struct Numbered {
        long number;
        std::string text;
    };
    std::deque<Numbered> kept;
    if (std::FILE* file = std::fopen(tessaro::platform::ResolvePathNoCase(path).c_str(), "rb")) {
        long number = 0;
        std::string piece;
        // Whole lines, however long, so the numbers match the template's.
        while (number < line + 1 && ReadWholeLine(file, piece)) {
            // Text mode: a CR before the line feed is not part of the line.
            if (piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0) piece.erase(piece.size() - 2, 1);
            kept.push_back({++number, piece});
            if (kept.size() > kExcerptLines) kept.pop_front();
        }
        std::fclose(file);
    }
    std::size_t start = 0;
    int nonBlank = 0;
    for (std::size_t i = kept.size(); i-- > 0;) {
        if (!IsBlank(kept[i].text) && ++nonBlank == kNonBlankLinesBack) {
            start = i > 0 ? i - 1 : 0;
            break;
        }
    }
    text += "<PRE>";
    for (std::size_t i = start; i < kept.size(); ++i) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "  %4.ld: ", kept[i].number);
        text += prefix + HtmlEscape(kept[i].text);
    }
    text += "</PRE><P>";
    return text;
}

std::string CQueryPage::WriteDebugBlock() {
    CRequestReader* reader = GetReader();
    std::string block = "<P>Date/Time: " + ErrorPageDateTime() +
                        "<BR>Browser: " + HtmlEscape(reader->GetCgiVariable("HTTP_USER_AGENT")) +
                        "<BR>Remote Address: " + HtmlEscape(reader->GetCgiVariable("REMOTE_ADDR"));
    std::string referer = reader->GetCgiVariable("HTTP_REFERER");
    if (!referer.empty()) block += "<BR>HTTP Referer: " + HtmlEscape(referer);
    if (GetSettings() == nullptr || GetSettings()->GetNumber("Debug", "WriteTemplateName", 1) != 0)
        block += "<BR>Template: " + HtmlEscape(AsOnDisk(templateFileName()));
    std::string query = reader->GetCgiVariable("QUERY_STRING");
    if (!query.empty()) block += "<BR>Query String: " + HtmlEscape(query);
    return block;
}

std::string CQueryPage::BuildSyntaxReport() {
    std::string path = templateFileName();
    if (GetFileSizeByName(tessaro::platform::ResolvePathNoCase(path)) == 0)
        return "Error processing template file '" + HtmlEscape(AsOnDisk(path)) +
               "'<P>The template file is invalid because it contains 0 bytes (templates may not be empty).";
    CTemplateParser* parser = currentTemplateParser();
    if (parser == nullptr)
        return "An error occurred while attempting to process the template file.<P>" + WriteDebugBlock();
    std::string report = "An error occurred while attempting to process " + LexerStateDescription(parser->lexer()) +
                         ".<P>" + WriteErrorReport(true);
    std::vector<std::uint32_t> expected;
    try {
        expected = parser->expectedTokens(parser->errorFlag() ? parser->errorState() : parser->state());
    } catch (const SSException&) {
        expected.clear();
    }
    if (expected.size() <= kMaxListedTokens) {
        report += std::string("The syntax error occurred while looking for ") +
                  (expected.size() <= 1 ? "the following token" : "the following valid tokens") + ":<P><UL>";
        std::vector<std::string> listed;
        for (std::uint32_t token : expected) {
            std::string description = TokenDescription(token);
            if (description.empty()) continue;
            bool seen = false;
            for (const std::string& l : listed) seen = seen || l == description;
            if (seen) continue;
            listed.push_back(description);
            report += "<LI>" + HtmlEscape(description) + "<P>";
        }
        report += "</UL>";
    }
    return report + WriteDebugBlock();
}
