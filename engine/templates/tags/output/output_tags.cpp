// TSOUTPUT, and the section body it shares with TSMAIL: the body is collected
// as the template is read and runs once the outermost section closes.
#include "engine/templates/core/output_section.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/template_parser.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

COutputSectionStack& Sections(TagContext& c) {
    return c.tags.Sections();
}
COutputSection* Current(TagContext& c) {
    return c.tags.Sections().Current();
}

constexpr TagAction kActions[] = {
    {p::sectionStart_OutputTag, [](TagContext& c) { Sections(c).OpenOutput(Sections(c).ReportBodyOpen()); }},
    {p::item_section, [](TagContext& c) { c.page.WriteText(Sections(c).CloseTopLevel()); }},
    {p::sectionItem_section, [](TagContext& c) { Sections(c).CloseNested(Sections(c).ReportBodyOpen()); }},
    {p::sectionAttribute_OutputQuery_attributeValue,
     [](TagContext& c) { Sections(c).OnQuery(c.page.attributeValue()); }},
    {p::sectionAttribute_OutputGroup_attributeValue,
     [](TagContext& c) { Sections(c).OnGroup(c.page.attributeValue()); }},
    {p::sectionAttribute_OutputMaxRows_attributeValue,
     [](TagContext& c) { Sections(c).OnMaxRows(c.page.attributeValue(), c.page.WriteErrorReport()); }},
    {p::sectionAttribute_OutputStartRow_attributeValue,
     [](TagContext& c) { Sections(c).OnStartRow(c.page.attributeValue(), c.page.WriteErrorReport()); }},
    {p::sectionItem_BodyText,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->AddText(c.parser.LexemeAt(0));
     }},
    {p::sectionItem_setTag,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->AddSet(c.tags.PendingSet().name, c.tags.PendingSet().value);
         c.tags.ConditionText().clear();
     }},
    {p::sectionItem_ifTag,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->AddIf(c.tags.ConditionText());
         c.tags.ConditionText().clear();
     }},
    {p::sectionItem_elseIfTag,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->AddElseIf(c.tags.ConditionText());
         c.tags.ConditionText().clear();
     }},
    {p::sectionItem_ElseTag,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->AddElse();
     }},
    {p::sectionItem_EndIfTag,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->AddEndIf();
     }},
    {p::sectionItem_BodyOtherTag_BodyTagRest, [](TagContext& c) { ThrowInvalidSectionTag(c.parser.LexemeAt(0)); }},
};

}  // namespace

const TagFamily kOutputTags{"TSOUTPUT", kActions};
