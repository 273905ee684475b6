// The page a report exports: the body starts with a heading and a table of rows, and ends
// with a trailer that begins "<HR>This report was created using <", where the engine cuts
// the report. The three subtypes differ in their table attributes and a generator comment.
#include "printengine/print_job.h"
#include "support/html_escape.h"

namespace tessaro::print {

namespace {

std::string Escape(const std::string& text) {
    return HtmlEscape(text, HtmlApostrophe::Keep);
}

}  // namespace

std::string RenderHtml(const std::string& title, const std::vector<std::string>& headings,
                       const std::vector<std::vector<std::string>>& cells, const std::string& image,
                       HtmlSubtype subtype) {
    const char* name = "standard";
    const char* table = "<TABLE BORDER=\"1\">";
    if (subtype == HtmlSubtype::Microsoft) {
        name = "microsoft";
        table = "<TABLE BORDER=\"1\" CELLSPACING=\"0\" BORDERCOLOR=\"#808080\">";
    } else if (subtype == HtmlSubtype::Netscape) {
        name = "netscape";
        table = "<TABLE BORDER=\"1\" CELLPADDING=\"2\" BGCOLOR=\"#FFFFFF\">";
    }
    std::string html = "<HTML><HEAD><TITLE>" + Escape(title) +
                       "</TITLE>\n<META NAME=\"GENERATOR\" CONTENT=\"Tessaro print engine (" + name +
                       ")\"></HEAD>\n<BODY BGCOLOR=\"#FFFFFF\">\n<!-- html subtype: " + name + " -->\n";
    if (!title.empty()) html += "<H2>" + Escape(title) + "</H2>\n";
    if (!image.empty()) html += "<IMG SRC=\"" + Escape(image) + "\">\n";
    html += table;
    html += "\n<TR>";
    for (const std::string& h : headings) html += "<TH>" + Escape(h) + "</TH>";
    html += "</TR>\n";
    for (const auto& row : cells) {
        html += "<TR>";
        for (const std::string& cell : row) html += "<TD>" + Escape(cell) + "</TD>";
        html += "</TR>\n";
    }
    html += "</TABLE>\n<HR>This report was created using <I>the Tessaro print engine</I>.\n</BODY></HTML>\n";
    return html;
}

}  // namespace tessaro::print
