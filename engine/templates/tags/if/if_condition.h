// The condition text TSIF and TSELSEIF collect as the template is read. The TSIF family
// keeps it for the page; TSSET's value and the TSIF tags inside a section body are read
// with the same rule, so those families take it from here.
#pragma once

#include <string>

#include "engine/templates/tags/tag_family.h"

struct IfTagState : TagFamilyState {
    std::string condition;
};

// The page's condition text, from the TSIF family's state.
std::string& ConditionText(TagContext& context);
