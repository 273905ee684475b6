#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/web_exception.h"
#include "engine/templates/core/query_results.h"
#include "engine/templates/core/loop_stack.h"
#include "tests/common/web_error_capture.h"

namespace {

// A template as a list of items read one after another; a rewind puts the read
// position back. Text items write "{NAME}" as the variable's value and "{ROW}"
// as the current query row.
struct Item {
    enum Kind { Text, Loop, End, Break, Set } kind;
    std::string text;
    std::vector<std::pair<std::string, std::string>> attributes;
};

class LoopPage : public CLoopHost {
public:
    std::map<std::string, std::string> variables;
    std::map<std::string, std::unique_ptr<CTSXQueryImp>> queries;
    int conditionals = 0;
    int savedConditionals = 0;
    int timeChecks = 0;
    const void* owner = this;
    std::size_t position = 0;

    void CheckRequestTime() override { ++timeChecks; }
    bool EvaluateCondition(const std::string& condition) override {
        std::size_t lt = condition.find('<');
        return std::stoi(variables[condition.substr(0, lt)]) < std::stoi(condition.substr(lt + 1));
    }
    void SetIndexVariable(const std::string& name, const std::string& value) override { variables[name] = value; }
    CTSXQueryImp* FindQuery(const std::string& name) override {
        auto it = queries.find(name);
        return it == queries.end() ? nullptr : it->second.get();
    }
    const void* CurrentInputOwner() override { return owner; }
    LoopInputSnapshot SaveInput() override {
        LoopInputSnapshot snapshot;
        snapshot.owner = owner;
        snapshot.state.input.position = position;
        return snapshot;
    }
    void RewindInput(const LoopInputSnapshot& snapshot) override { position = snapshot.state.input.position; }
    void SaveConditionals() override { savedConditionals = conditionals; }
    void RestoreConditionals() override { conditionals = savedConditionals; }

    std::string Run(const std::vector<Item>& items, CLoopStack& loops) {
        std::string out;
        position = 0;
        int steps = 0;
        while (position < items.size()) {
            // A loop that never ends is a failure, not a hang.
            if (++steps > 10000) throw new CWebException("runaway loop", "");
            const Item& item = items[position++];
            switch (item.kind) {
                case Item::Text:
                    if (!loops.IsSkipping()) out += Expand(item.text, loops);
                    break;
                case Item::Set:
                    if (!loops.IsSkipping()) variables[item.text] = std::to_string(std::stoi(variables[item.text]) + 1);
                    break;
                case Item::Loop:
                    if (!loops.IsSkipping()) {
                        loops.ResetAttributes();
                        for (const auto& [name, value] : item.attributes) Set(loops, name, value);
                        loops.SaveInput();
                    }
                    loops.LoopBegin();
                    break;
                case Item::End:
                    loops.LoopEnd();
                    break;
                case Item::Break: {
                    // "name=value": breaks only when the variable has that value.
                    std::size_t eq = item.text.find('=');
                    if (!loops.IsSkipping() && variables[item.text.substr(0, eq)] == item.text.substr(eq + 1))
                        loops.LoopBreak();
                    break;
                }
            }
        }
        loops.CheckBalanced();
        return out;
    }

private:
    static void Set(CLoopStack& loops, const std::string& name, const std::string& value) {
        if (name == "QUERY") loops.SetQuery(value);
        if (name == "STARTROW") loops.SetStartRow(value);
        if (name == "ENDROW") loops.SetEndRow(value);
        if (name == "LIST") loops.SetList(value);
        if (name == "DELIMITERS") loops.SetDelimiters(value);
        if (name == "CONDITION") loops.SetCondition(value);
        if (name == "INDEX") loops.SetIndex(value);
        if (name == "FROM") loops.SetFrom(value);
        if (name == "TO") loops.SetTo(value);
        if (name == "STEP") loops.SetStep(value);
    }
    std::string Expand(const std::string& text, CLoopStack& loops) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '{') {
                out += text[i];
                continue;
            }
            std::size_t end = text.find('}', i);
            std::string name = text.substr(i + 1, end - i - 1);
            out += name == "ROW" ? std::to_string(loops.CurrentQueryRow()) : variables[name];
            i = end;
        }
        return out;
    }
};

Item Loop(std::vector<std::pair<std::string, std::string>> attributes) {
    return {Item::Loop, "", std::move(attributes)};
}
Item Text(const std::string& text) {
    return {Item::Text, text, {}};
}
Item End() {
    return {Item::End, "", {}};
}

std::string RunLoop(std::vector<std::pair<std::string, std::string>> attributes, const std::string& body) {
    LoopPage page;
    CLoopStack loops(page);
    return page.Run({Text("["), Loop(std::move(attributes)), Text(body), End(), Text("]")}, loops);
}

TEST(LoopTest, IndexLoopsCountWithTheirStep) {
    EXPECT_EQ(RunLoop({{"INDEX", "i"}, {"FROM", "1"}, {"TO", "3"}}, "{i},"), "[1,2,3,]");
    EXPECT_EQ(RunLoop({{"INDEX", "i"}, {"FROM", "3"}, {"TO", "1"}, {"STEP", "-1"}}, "{i},"), "[3,2,1,]");
    EXPECT_EQ(RunLoop({{"INDEX", "i"}, {"FROM", "1"}, {"TO", "0"}}, "{i},"), "[]");
    EXPECT_EQ(RunLoop({{"INDEX", "i"}, {"FROM", "0"}, {"TO", "1"}, {"STEP", "0.25"}}, "{i},"), "[0,0.25,0.5,0.75,1,]");
    EXPECT_EQ(RunLoop({{"INDEX", "Variables.i"}, {"FROM", " 2 "}, {"TO", "2"}}, "{Variables.i}"), "[2]");
}

TEST(LoopTest, ListLoopsSkipEmptyItems) {
    EXPECT_EQ(RunLoop({{"LIST", "a,,b"}, {"INDEX", "x"}}, "<{x}>"), "[<a><b>]");
    EXPECT_EQ(RunLoop({{"INDEX", "x"}, {"LIST", "a;b,c"}, {"DELIMITERS", ";"}}, "<{x}>"), "[<a><b,c>]");
    EXPECT_EQ(RunLoop({{"LIST", ",,"}, {"INDEX", "x"}}, "<{x}>"), "[]");
}

TEST(LoopTest, QueryLoopsWalkTheRowWindow) {
    struct Case {
        const char* start;
        const char* end;
        const char* expected;
    } cases[] = {{"", "", "[1,2,3,]"}, {"2", "", "[2,3,]"},     {"2", "1", "[]"},
                 {"2", "2", "[2,]"},   {"1", "99", "[1,2,3,]"}, {"4", "", "[]"}};
    for (const Case& c : cases) {
        LoopPage page;
        auto q = std::make_unique<CTSXQueryImp>();
        q->AddColumn("n");
        for (int i = 1; i <= 3; ++i) q->AddRow({std::to_string(i)});
        CTSXQueryImp* query = q.get();
        page.queries["Q"] = std::move(q);
        CLoopStack loops(page);
        std::vector<std::pair<std::string, std::string>> attributes{{"QUERY", "q"}};
        if (*c.start) attributes.push_back({"STARTROW", c.start});
        if (*c.end) attributes.push_back({"ENDROW", c.end});
        EXPECT_EQ(page.Run({Text("["), Loop(attributes), Text("{ROW},"), End(), Text("]")}, loops), c.expected)
            << c.start << "/" << c.end;
        EXPECT_EQ(loops.CurrentQuery(), nullptr);
        (void)query;
    }
}

TEST(LoopTest, AttributeErrors) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> attributes;
        std::string messageStart;
        std::string contains;
    } cases[] = {
        {{{"INDEX", "i"}},
         "A TSLOOP tag must have attributes that uniquely identify a loop construct. You have used the tag with "
         "ambiguous attributes",
         "<VL><LI>LIST=ListName INDEX=IndexName loop<LI>INDEX=IndexName FROM=StartValue TO=EndValue [STEP=StepValue] "
         "loop\n</VL>"},
        {{{"LIST", "a"}, {"STARTROW", "1"}},
         "A TSLOOP tag must have attributes that uniquely identify a loop construct.",
         "<VL><LI>QUERY=QueryName [STARTROW=StartRowNumber] [EndRow=EndRowNumber] loop<LI>LIST=ListName "
         "INDEX=IndexName loop\n</VL>"},
        {{},
         "A TSLOOP tag must have attributes that uniquely identify one of the following types of loop "
         "constructs:<P><VL>",
         "<LI>CONDITION=BooleanConditionInsideString loop\n</VL><P>You have used the tag with no attributes."},
        {{{"INDEX", "1x"}, {"FROM", "1"}, {"TO", "2"}},
         "The INDEX attribute of the TSLOOP tag, which evaluates to 1x, is not a valid variable name.",
         ""},
        {{{"INDEX", "i"}, {"FROM", "one"}, {"TO", "2"}},
         "The FROM attribute of the TSLOOP tag, which evaluates to one, is not a number. The value of this attribute "
         "must be a valid numeric expression.",
         ""},
        {{{"STARTROW", "1"}},
         "A TSLOOP tag must have attributes that uniquely identify a loop construct.",
         "QUERY=QueryName"},
    };
    for (const Case& c : cases) {
        Thrown t = WebErrorOf([&] { RunLoop(c.attributes, "x"); });
        EXPECT_EQ(t.message.rfind(c.messageStart, 0), 0u) << t.message;
        EXPECT_NE(t.message.find(c.contains), std::string::npos) << t.message;
        EXPECT_EQ(t.detail, "An error occurred while attempting to process a TSLOOP tag.<P>");
    }
}

TEST(LoopTest, RowAttributesMustBeInRange) {
    LoopPage page;
    auto q = std::make_unique<CTSXQueryImp>();
    q->AddColumn("n");
    page.queries["Q"] = std::move(q);
    CLoopStack loops(page);
    Thrown start = WebErrorOf([&] { page.Run({Loop({{"QUERY", "Q"}, {"STARTROW", "0"}}), End()}, loops); });
    EXPECT_EQ(start.message,
              "The STARTROW attribute of the TSLOOP tag, which evaluates to 0, must be a positive number.<P>");
    CLoopStack again(page);
    Thrown end = WebErrorOf([&] { page.Run({Loop({{"QUERY", "Q"}, {"ENDROW", "-1.5"}}), End()}, again); });
    EXPECT_EQ(end.message,
              "The ENDROW attribute of the TSLOOP tag, which evaluates to -1, must be a non-negative number.<P>");
    CLoopStack unknown(page);
    Thrown query = WebErrorOf([&] { page.Run({Loop({{"QUERY", "other"}}), End()}, unknown); });
    EXPECT_EQ(query.detail, "Invalid QUERY name specified<P>");
    EXPECT_NE(query.message.find("The query named 'OTHER' has not yet executed."), std::string::npos);
}

TEST(LoopTest, BreakInTheSecondIterationKeepsWhatCameBeforeIt) {
    LoopPage page;
    CLoopStack loops(page);
    std::vector<Item> items{Loop({{"INDEX", "i"}, {"FROM", "1"}, {"TO", "5"}}),
                            Text("b{i} "),
                            Loop({{"LIST", "x,y"}, {"INDEX", "k"}}),
                            Text("{k}"),
                            End(),  // skipped after the break
                            {Item::Break, "i=2", {}},
                            Text("a{i} "),
                            End(),
                            Text("end")};
    EXPECT_EQ(page.Run(items, loops), "b1 xya1 b2 xyend");
}

TEST(LoopTest, BreakInsideANestedLoopEndsOnlyThatLoop) {
    LoopPage page;
    CLoopStack loops(page);
    std::vector<Item> items{Loop({{"INDEX", "i"}, {"FROM", "1"}, {"TO", "3"}}),
                            Loop({{"INDEX", "j"}, {"FROM", "1"}, {"TO", "3"}}),
                            Text("{i}{j} "),
                            {Item::Break, "j=2", {}},
                            End(),
                            Text("| "),
                            End()};
    EXPECT_EQ(page.Run(items, loops), "11 12 | 21 22 | 31 32 | ");
}

TEST(LoopTest, NestedLoopsRewindToTheirOwnStart) {
    LoopPage page;
    CLoopStack loops(page);
    std::vector<Item> items{Loop({{"LIST", "a,b"}, {"INDEX", "o"}}),
                            Loop({{"INDEX", "i"}, {"FROM", "1"}, {"TO", "2"}}),
                            Text("{o}{i} "),
                            End(),
                            Text("| "),
                            End()};
    EXPECT_EQ(page.Run(items, loops), "a1 a2 | b1 b2 | ");
    EXPECT_EQ(page.savedConditionals, 0);
}

TEST(LoopTest, ConditionLoopsRunWhileTrue) {
    LoopPage page;
    page.variables["n"] = "0";
    CLoopStack loops(page);
    EXPECT_EQ(page.Run({Loop({{"CONDITION", "n<3"}}), Text("{n}"), {Item::Set, "n", {}}, End()}, loops), "012");
    EXPECT_GE(page.timeChecks, 4);
}

TEST(LoopTest, UnmatchedTagsAreReported) {
    LoopPage page;
    CLoopStack loops(page);
    Thrown extraEnd = WebErrorOf([&] { page.Run({Text("x"), End()}, loops); });
    EXPECT_EQ(extraEnd.message,
              "The TSLOOP and /TSLOOP tags in this template are not matched. There are more "
              "/TSLOOP tags than there are TSLOOP tags.<P>");
    CLoopStack open(page);
    Thrown missingEnd = WebErrorOf([&] {
        page.Run({Loop({{"INDEX", "i"}, {"FROM", "1"}, {"TO", "2"}}), Text("x")}, open);
    });
    EXPECT_EQ(missingEnd.message,
              "The TSLOOP and /TSLOOP tags in this template are not matched. There are more "
              "TSLOOP tags than there are /TSLOOP tags.<P>");
    Thrown noBreak = WebErrorOf([&] {
        CLoopStack none(page);
        none.LoopBreak();
    });
    EXPECT_EQ(noBreak.message, "An unexpected error occurred while breaking out of loop.<P>");
    Thrown noRow = WebErrorOf([&] {
        CLoopStack none(page);
        none.CurrentQueryRow();
    });
    EXPECT_EQ(noRow.message, "An unexpected error occurred while accessing a query row.<P>");
}

TEST(LoopTest, EndInAnotherTemplateIsRefused) {
    LoopPage page;
    CLoopStack loops(page);
    loops.ResetAttributes();
    loops.SetIndex("i");
    loops.SetFrom("1");
    loops.SetTo("2");
    loops.SaveInput();
    loops.LoopBegin();
    int included = 0;
    page.owner = &included;  // the /TSLOOP is read by an included template's parser
    Thrown t = WebErrorOf([&] { loops.LoopEnd(); });
    EXPECT_NE(t.message.find("are not matched"), std::string::npos);
}

TEST(LoopTest, NumbersAreWrittenWithTwelveSignificantDigits) {
    EXPECT_EQ(FormatLoopNumber(1), "1");
    EXPECT_EQ(FormatLoopNumber(-2.5), "-2.5");
    EXPECT_EQ(FormatLoopNumber(0.1 + 0.2), "0.3");
    EXPECT_EQ(FormatLoopNumber(1e15), "1E+15");
}

}  // namespace
