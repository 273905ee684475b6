// TSIF, TSELSEIF, TSELSE and /TSIF. These run while output is off too, so that
// the blocks of a false condition are counted; the condition text they collect
// (kept by the page's tags) also serves TSSET's expression.
#include "engine/templates/core/if_block_stack.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/template_parser.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

constexpr TagPhase kConditional = TagPhase::Conditional;

CIfBlockStack& Ifs(TagContext& c) {
    return *c.page.GetIfStack();
}

void StartCondition(TagContext& c) {
    c.tags.ConditionText().clear();
}

constexpr TagAction kActions[] = {
    {p::item_ifTag,
     [](TagContext& c) {
         Ifs(c).If(c.tags.ConditionText());
         c.tags.ConditionText().clear();
     },
     kConditional},
    {p::item_elseIfTag,
     [](TagContext& c) {
         Ifs(c).ElseIf(c.tags.ConditionText());
         c.tags.ConditionText().clear();
     },
     kConditional},
    {p::item_ElseTag,
     [](TagContext& c) {
         Ifs(c).Else();
         c.tags.ConditionText().clear();
     },
     kConditional},
    {p::item_EndIfTag,
     [](TagContext& c) {
         Ifs(c).EndIf();
         c.tags.ConditionText().clear();
     },
     kConditional},
    {p::conditionPart_ConditionText, [](TagContext& c) { c.tags.ConditionText() += c.parser.LexemeAt(0); },
     kConditional},
    {p::ifStart_IfTag, StartCondition, kConditional},
    {p::ifStart_BodyIfTag, StartCondition, kConditional},
    {p::elseIfStart_ElseIfTag, StartCondition, kConditional},
    {p::elseIfStart_BodyElseIfTag, StartCondition, kConditional},
};

}  // namespace

const TagFamily kIfTags{"TSIF TSELSEIF TSELSE /TSIF", kActions};
