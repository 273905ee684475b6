// The template error page: where the error is, the template's lines around it,
// and the request's particulars.
#include <cctype>
#include <cstdio>
#include <deque>

#include "engine/parser/ss_exception.h"
#include "engine/server/request_reader.h"
#include "engine/templates/file_lines.h"
#include "engine/templates/template_page.h"
#include "engine/templates/template_descriptions.h"
#include "engine/templates/template_parser.h"
#include "engine/templates/template_position.h"
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

// Line `number` (1-based) of the template text, without its line end; "" past the end.
std::string TextLine(const std::string& text, long number) {
    std::string piece;
    std::size_t at = 0;
    for (long n = 1; NextWholeLine(text, at, piece); ++n) {
        if (n < number) continue;
        while (!piece.empty() && (piece.back() == '\n' || piece.back() == '\r')) piece.pop_back();
        return piece;
    }
    return {};
}

bool IsNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '-';
}

// A double quote inside an attribute value ends the value: NAME="#F("x")#" reads as NAME="#F("
// followed by x")#", which is no attribute. Found on the line as a quoted value that another
// character follows at once (attributes are parted by blanks): the attribute's name and the
// value as it was cut, or false.
bool FindCutAttributeValue(const std::string& line, std::string& name, std::string& value) {
    for (std::size_t open = line.find('"'); open != std::string::npos; open = line.find('"', open + 1)) {
        std::size_t close = line.find('"', open + 1);
        // A doubled quote stands for one inside the value.
        while (close != std::string::npos && close + 1 < line.size() && line[close + 1] == '"')
            close = line.find('"', close + 2);
        if (close == std::string::npos) return false;
        std::size_t equals = line.find_last_not_of(" \t", open - (open > 0 ? 1 : 0));
        if (open == 0 || equals == std::string::npos || line[equals] != '=') {
            open = close;
            continue;
        }
        std::size_t nameEnd = line.find_last_not_of(" \t", equals - (equals > 0 ? 1 : 0));
        std::size_t nameStart = nameEnd;
        while (nameStart != std::string::npos && nameStart > 0 && IsNameCharacter(line[nameStart - 1])) --nameStart;
        const char after = close + 1 < line.size() ? line[close + 1] : ' ';
        if (equals > 0 && nameEnd != std::string::npos && IsNameCharacter(line[nameEnd]) && after != ' ' &&
            after != '\t' && after != '>' && after != '/') {
            name = line.substr(nameStart, nameEnd - nameStart + 1);
            value = line.substr(open + 1, close - open - 1);
            return true;
        }
        open = close;
    }
    return false;
}

// Lexer lists of the template grammar that are not inside a tag: HTML text, a comment, and
// the body of a TSOUTPUT, TSMAIL or TSREPORT section. In every other list a tag is being read.
constexpr std::uint32_t kHtmlList = 0;
constexpr std::uint32_t kCommentList = 1;
constexpr std::uint32_t kQuotedValueList = 3;
constexpr std::uint32_t kSectionBodyList = 22;

bool InsideTag(std::uint32_t list) {
    return list != kHtmlList && list != kCommentList && list != kSectionBodyList;
}

// What the syntax error is, in words, and where the tag it concerns was opened; "" when the
// page's other texts say all there is.
std::string SyntaxErrorWords(CTemplateParser& parser, bool tokensListed) {
    const CTemplateParser::OpenedTag& tag = parser.LastTag();
    const std::uint32_t list = parser.lexer().tables() ? parser.lexer().currentExpressionList() : kHtmlList;
    const std::string opened = tag.line > 0 ? "The " + HtmlEscape(tag.name) + " tag opened on line " +
                                                  std::to_string(tag.line)
                                            : std::string();
    const CTemplateLexer::Unmatched& unmatched = parser.lexer().unmatched();
    if (unmatched.line > 0 && InsideTag(list) && !opened.empty()) {
        const std::string& text = unmatched.text;
        std::size_t nameEnd = 0;
        while (nameEnd < text.size() && (std::isalnum(static_cast<unsigned char>(text[nameEnd])) ||
                                         text[nameEnd] == '_'))
            ++nameEnd;
        if (!text.empty() && text[0] == '<')
            return opened + " is not closed: a &gt; must end it before the &lt; on line " +
                   std::to_string(unmatched.line) + ".";
        if (nameEnd > 0) {
            std::string words = HtmlEscape(UpperCopy(text.substr(0, nameEnd))) + " is not an attribute of " +
                                HtmlEscape(tag.name) + " (line " + std::to_string(unmatched.line) + ").";
            // On a later line it may be the text after a tag whose ">" was forgotten.
            if (unmatched.line > tag.line)
                words += " If the " + HtmlEscape(tag.name) + " tag opened on line " + std::to_string(tag.line) +
                         " ends before it, its closing &gt; is missing.";
            if (tokensListed) words += " What the tag takes there is listed below.";
            return words;
        }
        return opened + " holds '" + HtmlEscape(text.substr(0, 1)) + "' on line " + std::to_string(unmatched.line) +
               ", where an attribute or the closing &gt; must stand.";
    }
    if (!parser.endOfInput()) return {};
    if (InsideTag(list) && !opened.empty())
        return opened + (list == kQuotedValueList
                             ? " is not closed: a quoted value in it has no closing double quote."
                             : " is not closed: the file ends before its closing &gt;.");
    if (!parser.OpenSections().empty()) {
        const CTemplateParser::OpenedTag& section = parser.OpenSections().back();
        return "The " + HtmlEscape(section.name) + " tag opened on line " + std::to_string(section.line) +
               " is not closed: the file ends before its &lt;/" + HtmlEscape(section.name) + "&gt;.";
    }
    return {};
}

}  // namespace

std::string CQueryPage::WriteErrorReport(bool syntaxError) {
    CTemplateParser* parser = currentTemplateParser();
    if (parser == nullptr) return {};
    long line = !syntaxError && m_runningLine > 0 ? m_runningLine : parser->ErrorLine(syntaxError);
    std::string path = templateFileName();
    std::string text = kTemplatePositionStart + std::to_string(line) + " of the template file " +
                       HtmlEscape(AsOnDisk(path)) + "<P>";

    struct Numbered {
        long number;
        std::string text;
    };
    std::deque<Numbered> kept;
    // The text the parser read: the file is not opened again by its name.
    const std::string& source = parser->templateText();
    long number = 0;
    std::string piece;
    // Whole lines, however long, so the numbers match the template's.
    for (std::size_t at = 0; number < line + 1 && NextWholeLine(source, at, piece);) {
        // Text mode: a CR before the line feed is not part of the line.
        if (piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0) piece.erase(piece.size() - 2, 1);
        kept.push_back({++number, piece});
        if (kept.size() > kExcerptLines) kept.pop_front();
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
    RememberPositionReport(text);
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
    CTemplateParser* parser = currentTemplateParser();
    if (parser != nullptr && parser->templateText().empty())
        return "Error processing template file '" + HtmlEscape(AsOnDisk(path)) +
               "'<P>The template file is invalid because it contains 0 bytes (templates may not be empty).";
    if (parser == nullptr)
        return "An error occurred while attempting to process the template file.<P>" + WriteDebugBlock();
    std::string report = "An error occurred while attempting to process " + LexerStateDescription(parser->lexer()) +
                         ".<P>";
    const long line = parser->ErrorLine(true);
    std::vector<std::uint32_t> expected;
    try {
        expected = parser->expectedTokens(parser->errorFlag() ? parser->errorState() : parser->state());
    } catch (const SSException&) {
        expected.clear();
    }
    const bool tokensListed = expected.size() <= kMaxListedTokens;
    std::string attribute, cut;
    if (FindCutAttributeValue(TextLine(parser->templateText(), line), attribute, cut)) {
        report += "The value of the attribute <B>" + HtmlEscape(UpperCopy(attribute)) + "</B> on line " +
                  std::to_string(line) + " ends at a double quote inside it, after '" + HtmlEscape(cut) +
                  "'. A double quote ends an attribute's value: inside it write texts in single quotes "
                  "(" + HtmlEscape(attribute) + "=\"#ExpandPath('uploads')#\") or double each quote (" +
                  HtmlEscape(attribute) + "=\"#ExpandPath(\"\"uploads\"\")#\").<P>";
    } else {
        const std::string words = SyntaxErrorWords(*parser, tokensListed);
        if (!words.empty()) report += words + "<P>";
    }
    report += WriteErrorReport(true);
    if (tokensListed) {
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
