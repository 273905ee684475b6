// The drill-down wizard's rules for joins and search conditions.
#pragma once

#include <string>
#include <vector>

#include "wizards/wizard_data.h"

namespace tessaro::wizards {

struct TMatchingCondition {
    std::string DisplayText;
    std::string Condition;
};

// The eight conditions in the order the search page lists them.
const std::vector<TMatchingCondition>& MatchingConditions();

// Whether a search condition suits a column type: no ordering on text columns, no LIKE on
// numbers, dates and binaries; "=" suits every type.
bool ConditionSuitsType(const std::string& condition, const std::string& typeName);

// Proposes joins between columns of equal name (case matters) in different tables, except
// names that are usually not keys (PHONE, CITY, ...); never both directions of one pair.
void GuessJoins(const TDBTableFieldsList& columns, TDBJoinsList& joins);

// Adds the join a = b unless a name has a blank or the join (either way round) is listed;
// false with the message otherwise.
bool AddJoin(const TDBTableField& a, const TDBTableField& b, TDBJoinsList& joins, std::string& message);

// Adds a search field with its condition (display text) or refuses with the message.
bool AddSearchField(const TDBTableField& field, const TMatchingCondition& condition, TDBTableFieldsList& searchFields,
                    std::string& message);

}  // namespace tessaro::wizards
