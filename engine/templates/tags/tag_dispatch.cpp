#include "engine/templates/tags/tag_dispatch.h"

#include <stdexcept>
#include <string>

CTagDispatchTable::CTagDispatchTable(std::span<const TagFamily* const> families) : m_families(families) {
    for (std::size_t f = 0; f < families.size(); ++f) {
        const TagFamily& family = *families[f];
        if (family.intercept != nullptr) m_intercepting.push_back(f);
        for (const TagAction& action : family.actions) {
            if (action.production >= m_routes.size()) m_routes.resize(action.production + 1);
            TagRoute& route = m_routes[action.production];
            // One owner per production: a second one would silently shadow the first.
            if (route.action != nullptr)
                throw std::logic_error("production " + std::to_string(action.production) + " is claimed by both " +
                                       families[route.family]->tags + " and " + family.tags);
            route = TagRoute{f, &action};
        }
    }
}

std::size_t CTagDispatchTable::IndexOf(const TagFamily& family) const {
    for (std::size_t f = 0; f < m_families.size(); ++f)
        if (m_families[f] == &family) return f;
    throw std::logic_error(std::string("tag family ") + family.tags + " is not in the list");
}

const CTagDispatchTable& CTagDispatchTable::Instance() {
    static const CTagDispatchTable table(TagFamilies());
    return table;
}
