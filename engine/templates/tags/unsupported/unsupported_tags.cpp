// Tags this engine reads but does not run. Each row stops the page at the
// tag's first production, before any of its attributes take effect; a tag that
// gets its own family loses its row here.
#include <string>

#include "support/web_exception.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

[[noreturn]] void NotSupported(const CWebMessage& tag) {
    throw new CWebException(tag + " tag not supported",
                            "The " + tag + " tag is not supported by this version of the Tessaro engine.");
}

constexpr TagAction kActions[] = {
    // TSOBJECT has no action at all: without a current extension tag its
    // attributes would have nothing to act on.
    {p::extensionStart_ObjectTag, [](TagContext&) { NotSupported("TSOBJECT"); }},
};

}  // namespace

const TagFamily kUnsupportedTags{"TSOBJECT", kActions};
