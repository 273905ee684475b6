// TSLOOP, /TSLOOP and TSBREAK. The tag and its end are counted even while a
// loop body is skipped, so that a skipped loop finds its own /TSLOOP.
#include "engine/templates/core/loop_stack.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

CLoopStack& Loops(TagContext& c) {
    return c.tags.Loops();
}

constexpr TagPhase kBoundary = TagPhase::LoopBoundary;

constexpr TagAction kActions[] = {
    {p::item_loopStart_loopAttributesOpt_LoopEnd, [](TagContext& c) { Loops(c).LoopBegin(); }, kBoundary},
    {p::item_EndLoopTag, [](TagContext& c) { Loops(c).LoopEnd(); }, kBoundary},
    {p::loopStart_LoopTag, [](TagContext& c) { Loops(c).ResetAttributes(); }},
    {p::loopAttributesOpt_empty, [](TagContext& c) { Loops(c).SaveInput(); }},
    {p::loopAttributesOpt_loopAttributes, [](TagContext& c) { Loops(c).SaveInput(); }},
    {p::loopAttribute_LoopList_attributeValue, [](TagContext& c) { Loops(c).SetList(c.page.attributeValue()); }},
    {p::loopAttribute_LoopQuery_attributeValue, [](TagContext& c) { Loops(c).SetQuery(c.page.attributeValue()); }},
    {p::loopAttribute_LoopStartRow_attributeValue,
     [](TagContext& c) { Loops(c).SetStartRow(c.page.attributeValue()); }},
    {p::loopAttribute_LoopEndRow_attributeValue, [](TagContext& c) { Loops(c).SetEndRow(c.page.attributeValue()); }},
    {p::loopAttribute_LoopDelimiters_attributeValue,
     [](TagContext& c) { Loops(c).SetDelimiters(c.page.attributeValue()); }},
    {p::loopAttribute_LoopCondition_attributeValue,
     [](TagContext& c) { Loops(c).SetCondition(c.page.rawAttributeValue()); }},
    {p::loopAttribute_LoopIndex_attributeValue, [](TagContext& c) { Loops(c).SetIndex(c.page.attributeValue()); }},
    {p::loopAttribute_LoopFrom_attributeValue, [](TagContext& c) { Loops(c).SetFrom(c.page.attributeValue()); }},
    {p::loopAttribute_LoopTo_attributeValue, [](TagContext& c) { Loops(c).SetTo(c.page.attributeValue()); }},
    {p::loopAttribute_LoopStep_attributeValue, [](TagContext& c) { Loops(c).SetStep(c.page.attributeValue()); }},
    {p::item_BreakTag, [](TagContext& c) { Loops(c).LoopBreak(); }},
};

}  // namespace

const TagFamily kLoopTags{"TSLOOP /TSLOOP TSBREAK", kActions};
