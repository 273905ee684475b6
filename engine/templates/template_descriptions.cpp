#include "engine/templates/template_descriptions.h"

#include <map>

#include "engine/parser/ss_lex.h"

namespace {

struct ListDescription {
    std::uint32_t list;
    const char* text;
};

// Checked in this order; the first current list names the state.
constexpr ListDescription kLists[] = {
    {0, "HTML text"},
    {1, "a Comment"},
    {8, "a TSAPPLICATION tag"},
    {4, "a TSIF or TSELSEIF tag"},
    {7, "a TSSET tag"},
    {9, "a TSPARAM tag"},
    {5, "a TSLOOP tag"},
    {6, "a TSERROR tag"},
    {13, "a TSFILE tag"},
    {2, "a TStag attribute"},
    {3, "a TStag attribute"},
    {14, "a TSCOOKIE tag"},
    {11, "a TSHEADER tag"},
    {12, "a TSOBJECT tag"},
    {15, "a TSINCLUDE tag"},
    {10, "a TSCONTENT tag"},
    {16, "a TSLOCATION tag"},
    {17, "a TSTRANSACTION tag"},
    {18, "a TSQUERY tag"},
    {19, "a TSSQL tag"},
    {20, "a TSINSERT or TSUPDATE tag"},
    {21, "a TSOUTPUT tag"},
    {22, "the text section of a TSOUTPUT tag"},
    {24, "a TSTABLE or TSCOL tag"},
    {25, "a TSREPORT tag"},
};

const std::map<std::uint32_t, const char*>& Descriptions() {
    static const std::map<std::uint32_t, const char*> table = [] {
        std::map<std::uint32_t, const char*> t;
        auto put = [&t](std::initializer_list<std::uint32_t> tokens, const char* text) {
            for (std::uint32_t token : tokens) t[token] = text;
        };
        put({1}, "Standard HTML text");
        put({3}, "TSAPPLICATION tag");
        put({4}, "TSCONTENT tag");
        put({5}, "TSHEADER tag");
        put({7}, "TSX extension tag");
        put({8}, "TSREPORT tag");
        put({9, 156}, "TSIF tag");
        put({10}, "TSELSE tag");
        put({11, 157}, "TSELSEIF tag");
        put({12}, "</TSIF> tag");
        put({13}, "TSLOOP tag");
        put({14}, "/TSLOOP tag");
        put({16}, "TSERROR tag");
        put({17}, "TSSET tag");
        put({18}, "TSPARAM set");
        put({19}, "TSCOOKIE tag");
        put({20}, "TSINCLUDE tag");
        put({21}, "TSTRANSACTION tag");
        put({22}, "/TSTRANSACTION tag");
        put({23}, "TSLOCATION tag");
        put({24}, "TSABORT tag");
        put({25}, "TSQUERY tag");
        put({26}, "/TSQUERY tag");
        put({27}, "TSSQL tag");
        put({28}, "TSINSERT tag");
        put({29}, "TSUPDATE tag");
        put({30}, "TSOUTPUT tag");
        put({31}, "TSMAIL tag");
        put({32}, "TSTABLE tag");
        put({39, 40, 41, 43}, "An tag attribute");
        put({46}, "a boolean expression to be evaluated by TSIF or TSELSEIF");
        // Every token that closes a tag with ">".
        put({47, 59, 64, 75, 84, 88, 106, 109, 113, 116, 128, 137}, "End tag character (>)");
        put({49, 139, 162}, "QUERY attribute");
        put({50, 141, 165}, "STARTROW attribute");
        put({51}, "ENDROW attribute");
        put({52}, "LIST attribute");
        put({53}, "DELIMITERS attribute");
        put({54}, "INDEX attribute");
        put({55, 148}, "FROM attribute");
        put({56, 149}, "TO attribute");
        put({57}, "STEP attribute");
        put({58}, "CONDITION attribute");
        put({61, 77, 146}, "TYPE attribute");
        put({62}, "MAILTO attribute");
        put({63, 108}, "TEMPLATE attribute");
        put({66}, "Variable or value used in a TSSET statement");
        put({67}, "=");
        put({69, 73, 82, 100, 122}, "NAME attribute");
        put({74}, "DEFAULT attribute");
        put({78, 91}, "FILE attribute");
        put({79}, "DELETEFILE attribute");
        put({83, 101}, "VALUE attribute");
        put({86}, "A tag property (e.g. FOO=\"BAR\")");
        put({87}, "A tag attribute (e.g. FOOBAR)");
        put({90}, "ACTION attribute");
        put({92}, "FILEFIELD attribute");
        put({93}, "SOURCE attribute");
        put({94}, "DESTINATION attribute");
        put({95}, "OUTPUT attribute");
        put({96}, "VARIABLE attribute");
        put({97}, "ACCEPT attribute");
        put({98}, "NAMECONFLICT attribute");
        put({102}, "EXPIRES attribute");
        put({103}, "PATH attribute");
        put({104}, "DOMAIN attribute");
        put({105}, "SECURE attribute");
        put({111}, "URL attribute");
        put({112}, "ADDTOKEN attribute");
        put({115}, "ISOLATION attribute");
        put({118, 130, 183}, "DATASOURCE attribute");
        put({119, 142, 166}, "MAXROWS attribute");
        put({120, 145, 179}, "TIMEOUT attribute");
        put({121}, "SQL attribute");
        put({125}, "DEBUG attribute");
        put({123, 131, 184}, "USERNAME attribute");
        put({124, 132, 185}, "PASSWORD attribute");
        put({126}, ">");
        put({133}, "TABLENAME attribute");
        put({134}, "TABLEOWNER attribute");
        put({135}, "TABLEQUALIFIER attribute");
        put({136}, "FORMFIELDS attribute");
        put({140}, "GROUP attribute");
        put({143}, "SERVER attribute");
        put({144}, "PORT attribute");
        put({147}, "SUBJECT attribute");
        put({150}, "CC attribute");
        put({151}, "MIMEATTACH attribute");
        put({153}, "HTML text with pound (#) delimited variable references");
        put({158}, "/TSOUTPUT, /TSMAIL, or /TSREPORT tag");
        put({163}, "COLSPACING attribute");
        put({164}, "HEADERLINES attribute");
        put({167}, "BORDER attribute");
        put({168}, "COLHEADERS attribute");
        put({169}, "HTMLTABLE attribute");
        put({170}, "TSCOL tag");
        put({171}, "WIDTH attribute");
        put({172}, "ALIGN attribute");
        put({173}, "HEADER attribute");
        put({174}, "TEXT attribute");
        put({175}, "/TSTABLE tag");
        put({177}, "REPORT attribute");
        put({180}, "HTMLTYPE attribute");
        put({181}, "A report formula (e.g. @MyFormula)");
        put({182}, "ORDERBY attribute");
        return t;
    }();
    return table;
}

}  // namespace

std::string TokenDescription(std::uint32_t token) {
    auto it = Descriptions().find(token);
    return it == Descriptions().end() ? std::string() : it->second;
}

std::string LexerStateDescription(SSLex& lexer) {
    if (lexer.tables() == nullptr) return {};
    std::uint32_t current = lexer.currentExpressionList();
    for (const ListDescription& entry : kLists)
        if (entry.list == current) return entry.text;
    return {};
}
