// TSSET: the name and expression are read with the tag, the variable is set
// where the tag stands as an item of the template.
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/template_parser.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

extern const TagFamily kSetTags;

namespace {

constexpr TagAction kActions[] = {
    {p::setTag_SetTag_SetName_SetEquals_conditionOpt_ConditionEnd,
     [](TagContext& c) {
         c.parser.SetSetTag(c.parser.LexemeAt(1), c.parser.IfExpression());
         c.parser.IfExpression().clear();
     }},
    {p::item_setTag,
     [](TagContext& c) {
         c.page.SetVariable(c.parser.SetName(), c.page.GetEvaluator().EvaluateValue(c.parser.SetValue()));
         c.parser.IfExpression().clear();
     }},
};

}  // namespace

const TagFamily kSetTags{"TSSET", kActions};
