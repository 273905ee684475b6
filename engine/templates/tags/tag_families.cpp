// The list of tag families, built from tag_families.def. The dispatch table is built from
// this list once; a production claimed by two families (a new family whose tag still has a
// row among the unsupported ones, say) stops it from being built.
#include "engine/templates/tags/tag_family.h"

namespace {

const TagFamily* const kFamilies[] = {
#define TAG_FAMILY(name) &name,
#include "engine/templates/tags/tag_families.def"
#undef TAG_FAMILY
};

}  // namespace

std::span<const TagFamily* const> TagFamilies() {
    return kFamilies;
}
