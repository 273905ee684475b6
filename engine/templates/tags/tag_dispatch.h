// The dispatch table of the tag families: for each production number, the one
// action a family registered for it. Built once from the family list, so a
// reduction finds its action by index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/templates/tags/tag_family.h"

struct TagRoute {
    std::size_t family = 0;  // the family's place in the list
    const TagAction* action = nullptr;
};

class CTagDispatchTable {
public:
    // Throws std::logic_error when two actions claim the same production.
    explicit CTagDispatchTable(std::span<const TagFamily* const> families);

    // The action of the production, or null when no family has one.
    const TagRoute* Find(std::uint32_t production) const {
        if (production >= m_routes.size() || m_routes[production].action == nullptr) return nullptr;
        return &m_routes[production];
    }
    std::span<const TagFamily* const> Families() const { return m_families; }
    // The family's place in the list; throws std::logic_error for a family not in it.
    std::size_t IndexOf(const TagFamily& family) const;
    // The families with an intercept, in list order.
    const std::vector<std::size_t>& Intercepting() const { return m_intercepting; }

    // The table of TagFamilies().
    static const CTagDispatchTable& Instance();

private:
    std::span<const TagFamily* const> m_families;
    std::vector<TagRoute> m_routes;
    std::vector<std::size_t> m_intercepting;
};
