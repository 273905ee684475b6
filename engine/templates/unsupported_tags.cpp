// Tags this engine reads but does not run. Each row stops the page at the
// tag's first production, before any of its attributes take effect; a tag that
// gets its own family loses its row here.
#include <string>

#include "support/web_exception.h"
#include "engine/templates/tag_family.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

extern const TagFamily kUnsupportedTags;

namespace {

[[noreturn]] void NotSupported(const char* tag) {
    throw new CWebException(std::string(tag) + " tag not supported",
                            std::string("The ") + tag + " tag is not supported by this version of the Tessaro engine.");
}

constexpr TagAction kActions[] = {
    {p::transactionStart_TransactionTag, [](TagContext&) { NotSupported("TSTRANSACTION"); }},
    {p::item_EndTransactionTag, [](TagContext&) { NotSupported("/TSTRANSACTION"); }},
    // TSOBJECT has no action at all: without a current extension tag its
    // attributes would have nothing to act on.
    {p::extensionStart_ObjectTag, [](TagContext&) { NotSupported("TSOBJECT"); }},
    {p::extensionStart_ExtensionTag, [](TagContext&) { NotSupported("TSX extension"); }},
    {p::tableStart_TableTag, [](TagContext&) { NotSupported("TSTABLE"); }},
    {p::insertStart_InsertTag, [](TagContext&) { NotSupported("TSINSERT/TSUPDATE"); }},
    {p::insertStart_UpdateTag, [](TagContext&) { NotSupported("TSINSERT/TSUPDATE"); }},
    {p::fileStart_FileTag, [](TagContext&) { NotSupported("TSFILE"); }},
};

}  // namespace

const TagFamily kUnsupportedTags{"TSTRANSACTION TSOBJECT TSX TSTABLE TSINSERT TSUPDATE TSFILE", kActions};
