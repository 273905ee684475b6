// The shape of a tag family: the grammar productions its tags reduce by, each
// with the action that runs at that reduction. Every family lives in a folder of
// its own, includes no other family's folder (what families share is the template
// core, engine/templates/core/) and is listed once in tag_families.def; the page
// dispatches through a table built from that list.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

class CPageTags;
class CQueryPage;
class CTemplateParser;

// State a family keeps for one page between its productions (the attributes
// of a tag read so far, say). Created on the family's first action on a page.
// Only that family's actions see it: what families share is the template core's,
// reached through CPageTags.
class TagFamilyState {
public:
    virtual ~TagFamilyState() = default;
};

// What an action works on: the page, the parser that reduced, the state the
// families share (queries, loops, sections, error pages) and its own family's.
struct TagContext {
    CQueryPage& page;
    CTemplateParser& parser;
    CPageTags& tags;
    TagFamilyState* state = nullptr;

    template <class State>
    State& Own() {
        return static_cast<State&>(*state);
    }
};

// When an action runs, measured against the page's conditional output and a
// loop body being skipped. After TSABORT nothing runs.
enum class TagPhase {
    // Output on and no loop body skipped; a pending query block sees the
    // production first. Almost every action.
    Output,
    // No loop body skipped, output on or off: conditional blocks are counted
    // while their output is off.
    Conditional,
    // Output on, even while a loop body is skipped: nested loops are counted so
    // that the skipped loop finds its own end.
    LoopBoundary,
};

struct TagAction {
    std::uint32_t production;
    void (*run)(TagContext& context);
    TagPhase phase = TagPhase::Output;
};

struct TagFamily {
    // The tags, as a template writes them ("TSLOOP TSBREAK").
    const char* tags;
    std::span<const TagAction> actions;
    // The family's per-page state; null when it keeps none.
    std::unique_ptr<TagFamilyState> (*makeState)() = nullptr;
    // Sees every Output-phase production before its action (whichever family's,
    // or none); true consumes it. For a tag whose block takes what it encloses.
    bool (*intercept)(TagContext& context, std::uint32_t production) = nullptr;
};

// Every family of the list, declared here for its own file and for the list.
#define TAG_FAMILY(name) extern const TagFamily name;
#include "engine/templates/tags/tag_families.def"
#undef TAG_FAMILY

// The families in the order of tag_families.def.
std::span<const TagFamily* const> TagFamilies();
