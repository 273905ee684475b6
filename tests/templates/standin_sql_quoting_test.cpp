// Without the expression language the page substitutes names only; in SQL text the quotes of
// the values it substitutes are still doubled, the template's own kept.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/templates/template_evaluator.h"

namespace {

class Names : public CVariableResolver {
public:
    bool ResolveParameter(const std::string& name, std::string& value) override {
        const auto it = values.find(name);
        if (it == values.end()) return false;
        value = it->second;
        return true;
    }
    std::map<std::string, std::string> values;
};

TEST(StandInEvaluator, SqlTextDoublesTheQuotesOfSubstitutedValues) {
    Names names;
    names.values = {{"URL.a", "' OR 'a'='a"}, {"URL.d", "{d '2024-01-02'}"}};
    CStandInEvaluator evaluator(names);
    EXPECT_EQ(evaluator.SubstituteSqlText("name = '#URL.a#' AND d = #URL.d# ## 'x'"),
              "name = ''' OR ''a''=''a' AND d = {d '2024-01-02'} # 'x'");
    EXPECT_EQ(evaluator.SubstituteText("name = '#URL.a#'"), "name = '' OR 'a'='a'");
}

}  // namespace
