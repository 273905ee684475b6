// The tag families of the template language, one line each, in the manner of a
// server's module table. Each family is one file (<name>_tags.cpp) exporting a
// TagFamily: its tags, and for each grammar production it handles the action
// that runs at that reduction (see tag_family.h). To add a tag, write its file
// and add one line below; the dispatch table is built from this list once, and
// a production claimed by two families stops it from being built.
#include "engine/templates/tag_family.h"

extern const TagFamily kTemplateText;
extern const TagFamily kSetTags;
extern const TagFamily kIfTags;
extern const TagFamily kApplicationTags;
extern const TagFamily kQueryTags;
extern const TagFamily kOutputTags;
extern const TagFamily kMailTags;
extern const TagFamily kLoopTags;
extern const TagFamily kReplyTags;
extern const TagFamily kParamErrorTags;
extern const TagFamily kCookieTags;
extern const TagFamily kIncludeTags;
extern const TagFamily kUnsupportedTags;

namespace {

const TagFamily* const kFamilies[] = {
    &kTemplateText,
    &kSetTags,
    &kIfTags,
    &kApplicationTags,
    &kQueryTags,
    &kOutputTags,
    &kMailTags,
    &kLoopTags,
    &kReplyTags,
    &kParamErrorTags,
    &kCookieTags,
    &kIncludeTags,
    &kUnsupportedTags,
};

}  // namespace

std::span<const TagFamily* const> TagFamilies() { return kFamilies; }
