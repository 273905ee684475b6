// TSQUERY, TSSQL and /TSQUERY. The block stays open while text and the tags
// allowed inside it are read; any other production runs the query first.
#include "support/server_settings.h"
#include "engine/templates/page_evaluation.h"
#include "engine/templates/core/query_block.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/template_parser.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

CQueryTag& Query(TagContext& c) {
    return c.tags.QueryTag();
}

// Where the TSQUERY tag stands: the same tag may enter its name again.
std::string QueryOrigin(CQueryPage& page) {
    CTemplateParser* parser = page.currentTemplateParser();
    long line = 0, offset = 0;
    if (parser != nullptr && parser->lookahead() != nullptr) {
        line = parser->lookahead()->line();
        offset = parser->lookahead()->offset();
    }
    return page.templateFileName() + ":" + std::to_string(line) + ":" + std::to_string(offset);
}

void Begin(TagContext& c) {
    CQueryPage& page = c.page;
    Query(c).OnBegin(page.IsSQLDebugOn(),
                     page.GetSettings() != nullptr &&
                         page.GetSettings()->GetNumber("Debug", "WriteQueryInfo", 0) != 0 && page.IsDebugClient(),
                     page.ParsePlace());
}

void Sql(TagContext& c) {
    std::string raw = c.page.rawAttributeValue();
    Query(c).OnSql(raw.find('#') != std::string::npos ? EvaluateOnPage(c.page, raw, -1, 1, kEvaluateTemplateText)
                                                      : raw);
}

bool InterceptBlock(TagContext& c, std::uint32_t production) {
    CQueryTag& query = Query(c);
    if (!query.IsPending()) return false;
    if (production == p::item_Text) {
        query.OnText(c.parser.LexemeAt(0));
        return true;
    }
    if (!KeepsQueryBlockOpen(production)) query.Finish();
    return false;
}

constexpr TagAction kActions[] = {
    {p::queryStart_QueryTag, Begin},
    {p::queryAttribute_QueryName_attributeValue,
     [](TagContext& c) { Query(c).OnName(c.page.attributeValue(), QueryOrigin(c.page)); }},
    {p::queryAttribute_QueryDataSource_attributeValue,
     [](TagContext& c) { Query(c).OnDataSource(c.page.attributeValue()); }},
    {p::queryAttribute_QueryMaxRows_attributeValue, [](TagContext& c) { Query(c).OnMaxRows(c.page.attributeValue()); }},
    {p::queryAttribute_QueryTimeout_attributeValue, [](TagContext& c) { Query(c).OnTimeout(c.page.attributeValue()); }},
    {p::queryAttribute_querySqlName_attributeValue, Sql},
    {p::item_sqlStart_SqlAttribute_attributeValue_SqlEnd, Sql},
    {p::queryAttribute_QueryUserName_attributeValue,
     [](TagContext& c) { Query(c).OnUserName(c.page.attributeValue()); }},
    {p::queryAttribute_QueryPassword_attributeValue,
     [](TagContext& c) { Query(c).OnPassword(c.page.attributeValue()); }},
    {p::queryAttribute_QueryDebug, [](TagContext& c) { Query(c).OnDebug(c.page.IsDebugClient()); }},
    {p::item_EndQueryTag, [](TagContext& c) { Query(c).OnEnd(); }},
};

}  // namespace

const TagFamily kQueryTags{"TSQUERY TSSQL /TSQUERY", kActions, nullptr, InterceptBlock};
