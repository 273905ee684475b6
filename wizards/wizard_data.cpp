#include "wizards/wizard_data.h"

#include <algorithm>

namespace tessaro::wizards {

std::string QualifiedName(const std::string& table, const std::string& column) {
    return table + "." + column;
}

std::string JoinText(const std::string& qualified1, const std::string& qualified2) {
    return qualified1 + " = " + qualified2;
}

std::size_t FindOrCreateProperties(const std::string& name, TFieldPropertiesList& list) {
    long found = list.IndexOf(name);
    if (found >= 0) return static_cast<std::size_t>(found);
    TFormFieldProperties properties;
    properties.QualifiedName = name;
    std::size_t dot = name.find('.');
    properties.Caption = dot == std::string::npos ? "" : name.substr(dot + 1);
    return list.Add(name, std::move(properties));
}

bool ContainsSpace(const std::string& name) {
    return name.find(' ') != std::string::npos;
}

namespace {

constexpr std::size_t kGroupSlots = 100;

struct TTableGroup {
    std::string TableName;
    int Group = 0;
};

class TableGroups {
public:
    int GroupOf(const std::string& table) const {
        for (const TTableGroup& slot : slots_)
            if (!slot.TableName.empty() && slot.TableName == table) return slot.Group;
        return 0;
    }
    void Add(const std::string& table, int group) {
        for (TTableGroup& slot : slots_) {
            if (slot.TableName.empty()) {
                slot = {table, group};
                return;
            }
        }
    }
    // Every member of `from` joins `to`. The old group is taken once, before any slot
    // changes, so that members after the join's own table are merged as well.
    void Merge(int from, int to) {
        for (TTableGroup& slot : slots_)
            if (!slot.TableName.empty() && slot.Group == from) slot.Group = to;
    }

private:
    std::array<TTableGroup, kGroupSlots> slots_;
};

bool GroupingPass(TDBJoinsList& work, const std::vector<std::string>& tables) {
    TableGroups groups;
    int counter = 0;
    bool done = false;
    for (std::size_t n = work.Count(); n-- > 0;) {
        if (done) {
            work.Delete(n);
            continue;
        }
        const std::string a = work.Joins(n).Table1;
        const std::string b = work.Joins(n).Table2;
        int groupA = groups.GroupOf(a);
        int groupB = groups.GroupOf(b);
        if (!groupA && !groupB) {
            ++counter;
            groups.Add(a, counter);
            groups.Add(b, counter);
        } else if (groupA && groupB) {
            groups.Merge(groupB, groupA);
        } else if (!groupA) {
            groups.Add(a, groupB);
        } else {
            groups.Add(b, groupA);
        }
        int first = groups.GroupOf(tables.front());
        done = first != 0 && std::all_of(tables.begin(), tables.end(),
                                         [&](const std::string& t) { return groups.GroupOf(t) == first; });
    }
    return done;
}

}  // namespace

bool JoinsCoverTables(const TDBTableFieldsList& fields, const TDBJoinsList& joins, TDBJoinsList& work,
                      std::vector<std::string>& tables) {
    work.Clear();
    tables.clear();
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        const std::string& table = fields.Fields(i).TableName;
        if (std::find(tables.begin(), tables.end(), table) == tables.end()) tables.push_back(table);
    }
    if (tables.size() < 2) return true;
    for (std::size_t i = 0; i < joins.Count(); ++i) work.Add(joins.Key(i), joins.Joins(i));
    const std::size_t rounds = work.Count();
    if (rounds == 0) return false;
    for (std::size_t round = 0; round < rounds; ++round) {
        if (!GroupingPass(work, tables)) return false;
        std::size_t last = work.Count() - 1;
        work.Insert(0, work.Key(last), work.Joins(last));
        work.Delete(last + 1);
    }
    return true;
}

}  // namespace tessaro::wizards
