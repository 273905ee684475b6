#include "engine/grammar/grammar_tables.h"

#include <initializer_list>

#include "platform/resources.h"

namespace tessaro::grammar {

bool RegisterGrammarTables() {
    bool ok = true;
    for (const TableBlob* t : {&kTemplateLexTable, &kTemplateParseTable, &kExpressionLexTable, &kExpressionParseTable})
        ok = tessaro::resources::RegisterResource(t->type, t->name, t->data, t->size) && ok;
    return ok;
}

}  // namespace tessaro::grammar
