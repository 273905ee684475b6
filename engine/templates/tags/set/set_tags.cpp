// TSSET: the name and expression are read with the tag, the variable is set
// where the tag stands as an item of the template.
#include "engine/templates/page_evaluation.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/template_parser.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

constexpr TagAction kActions[] = {
    {p::setTag_SetTag_SetName_SetEquals_conditionOpt_ConditionEnd,
     [](TagContext& c) {
         PendingSetTag& set = c.tags.PendingSet();
         set.name = c.parser.LexemeAt(1);
         set.value = c.tags.ConditionText();
         c.tags.ConditionText().clear();
     }},
    {p::item_setTag,
     [](TagContext& c) {
         const PendingSetTag& set = c.tags.PendingSet();
         c.page.SetVariable(set.name, EvaluateOnPage(c.page, set.value, -1, 0, kEvaluateExpression));
         c.tags.ConditionText().clear();
     }},
};

}  // namespace

const TagFamily kSetTags{"TSSET", kActions};
