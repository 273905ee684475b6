// TSINCLUDE: runs another template file in place of the tag.
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

constexpr TagAction kActions[] = {
    {p::item_includeStart_includeAttributesOpt_IncludeEnd, [](TagContext& c) { c.page.OnInclude(); }},
};

}  // namespace

const TagFamily kIncludeTags{"TSINCLUDE", kActions};
