// The TSSET tag read so far: its variable name and its value expression, kept by the
// TSSET family for the page until the tag stands as an item of the template or of a
// section body.
#pragma once

#include <string>

#include "engine/templates/tags/tag_family.h"

struct SetTagState : TagFamilyState {
    std::string name;
    std::string value;
};

// The page's TSSET tag, from the TSSET family's state.
SetTagState& PendingSet(TagContext& context);
