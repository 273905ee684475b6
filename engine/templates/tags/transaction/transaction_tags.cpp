// TSTRANSACTION and /TSTRANSACTION: a window in which the statements of
// TSQUERY, TSINSERT and TSUPDATE form one transaction (see core/transaction_window.h).
#include "engine/templates/core/transaction_window.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

CTransactionTag& Transaction(TagContext& c) {
    return c.tags.Transaction();
}

constexpr TagAction kActions[] = {
    {p::item_transactionStart_transactionAttributesOpt_TransactionEnd, [](TagContext& c) { Transaction(c).Begin(); }},
    {p::transactionAttribute_TransactionIsolation_attributeValue,
     [](TagContext& c) { Transaction(c).SetIsolation(c.page.attributeValue()); }},
    {p::item_EndTransactionTag, [](TagContext& c) { Transaction(c).End(); }},
};

}  // namespace

const TagFamily kTransactionTags{"TSTRANSACTION /TSTRANSACTION", kActions};
