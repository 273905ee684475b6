// Template text and attribute values: what every tag's attributes are read
// from, and the text between tags that goes to the reply as the file has it.
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/template_parser.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

void FinishWord(TagContext& c) {
    c.page.AppendAttributeText(c.parser.LexemeAt(0));
    c.page.FinishAttribute();
}

constexpr TagAction kActions[] = {
    {p::item_Text, [](TagContext& c) { c.page.WriteText(c.parser.LexemeAt(0)); }},
    {p::attributeValue_Number, FinishWord},
    {p::attributeValue_Percentage, FinishWord},
    {p::attributeValue_Value, FinishWord},
    {p::attributeValue_QuoteOpen_quotedText_QuoteClose, [](TagContext& c) { c.page.FinishAttribute(); }},
    {p::quotedPart_QuotedText, [](TagContext& c) { c.page.AppendAttributeText(c.parser.LexemeAt(0)); }},
    {p::quotedPart_DoubledQuote, [](TagContext& c) { c.page.AppendAttributeText("\""); }},
};

}  // namespace

const TagFamily kTemplateTextTags{"template text and attribute values", kActions};
