// The tag families of the template language, listed once, in the manner of a
// server's module table. Each family is one file (<name>_tags.cpp) exporting a
// TagFamily: its tags, and for each grammar production it handles the action
// that runs at that reduction (see tag_family.h). To add a tag, write its file,
// declare it below and give it an entry in the list. The dispatch table is
// built from this list once; a production claimed by two families (a new
// family whose tag still has a row among the unsupported ones, say) stops it
// from being built. The order matters only to intercepts, which run in it.
#include "engine/templates/tags/tag_family.h"

extern const TagFamily kTemplateTextTags;
extern const TagFamily kSetTags;
extern const TagFamily kIfTags;
extern const TagFamily kApplicationTags;
extern const TagFamily kQueryTags;
extern const TagFamily kOutputTags;
extern const TagFamily kMailTags;
extern const TagFamily kReportTags;
extern const TagFamily kLoopTags;
extern const TagFamily kReplyTags;
extern const TagFamily kParamErrorTags;
extern const TagFamily kCookieTags;
extern const TagFamily kIncludeTags;
extern const TagFamily kFileTags;
extern const TagFamily kExtensionTags;
extern const TagFamily kTransactionTags;
extern const TagFamily kTableTags;
extern const TagFamily kInsertTags;
extern const TagFamily kUnsupportedTags;

namespace {

const TagFamily* const kFamilies[] = {
    &kTemplateTextTags, &kSetTags,       &kIfTags,          &kApplicationTags, &kQueryTags,  &kOutputTags,
    &kMailTags, &kReportTags,         &kLoopTags,      &kReplyTags,       &kParamErrorTags,  &kCookieTags, &kIncludeTags,
    &kFileTags,         &kExtensionTags, &kTransactionTags, &kTableTags,       &kInsertTags, &kUnsupportedTags,
};

}  // namespace

std::span<const TagFamily* const> TagFamilies() {
    return kFamilies;
}
