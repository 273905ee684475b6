// tsgrammar on small grammars: lexer automata, LALR(1) tables, conflicts and the layout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

#include "engine/parser/table_layout.h"
#include "tests/common/temp_home.h"
#include "tests/tools/table_driver.h"
#include "tools/tsgrammar/grammar_compiler.h"

namespace {

using tsgrammar::CompiledGrammar;
using tsgrammar::CompileGrammar;
using tsgrammar::GrammarError;

// A grammar file around some token rules and productions.
std::string grammarText(const std::string& body) {
    return "grammar tiny\nresources IDR_LEX_TINY IDR_YACC_TINY\ndiscard-start-of-input\n" + body;
}

tablecheck::Tables tablesOf(const CompiledGrammar& c) {
    return tablecheck::Tables(c.lexBlob.data(), c.lexBlob.size(), c.parseBlob.data(), c.parseBlob.size());
}

std::vector<std::uint32_t> tokenNumbers(const tablecheck::LexResult& r) {
    std::vector<std::uint32_t> out;
    for (const auto& t : r.tokens) out.push_back(t.number);
    return out;
}

const char* kLexOnlyProductions = "production 0 start = s $end\nproduction 1 s = A\n";

TEST(GeneratorLexer, LongestMatchRereadsWhatFollowsTheLastAcceptingState) {
    auto c = CompileGrammar(
        grammarText("list 0 x\ntoken 1 A : 'abc'\ntoken 2 B : 'abcde'\ntoken 3 C : [a-z]\n") + kLexOnlyProductions,
        "t");
    auto t = tablesOf(c);
    EXPECT_EQ(tokenNumbers(t.lex("abcdx")), (std::vector<std::uint32_t>{1, 3, 3}));
    EXPECT_EQ(tokenNumbers(t.lex("abcdeab")), (std::vector<std::uint32_t>{2, 3, 3}));
    EXPECT_TRUE(t.lex("ab!").error);
}

TEST(GeneratorLexer, KeywordsWinTiesAgainstWeakRulesAndIgnoreCase) {
    auto c = CompileGrammar(grammarText("list 0 x\ntoken 5 Ident weak : [a-zA-Z]+\ntoken 7 If : \"if\"\n"
                                        "token 8 Exact : 'Go'\ntoken 9 Space discard : ' '+\n") +
                                "production 0 start = s $end\nproduction 1 s = If\n",
                            "t");
    auto t = tablesOf(c);
    EXPECT_EQ(tokenNumbers(t.lex("if IF iF iffy Go go GO")), (std::vector<std::uint32_t>{7, 7, 7, 5, 8, 5, 5}));
}

TEST(GeneratorLexer, TwoRulesMatchingTheSameTextAreAnError) {
    try {
        CompileGrammar(grammarText("list 0 x\ntoken 1 A : [a-z]+\ntoken 2 B : \"if\"\n") + kLexOnlyProductions, "t");
        FAIL() << "tie not reported";
    } catch (const GrammarError& e) {
        std::string m = e.what();
        EXPECT_NE(m.find("A and B"), std::string::npos) << m;
        EXPECT_NE(m.find("\"if\""), std::string::npos) << m;
    }
    // The same token from two rules is no tie.
    EXPECT_NO_THROW(
        CompileGrammar(grammarText("list 0 x\ntoken 1 A : 'x'\ntoken 1 A : 'x' | 'y'\n") + kLexOnlyProductions, "t"));
}

TEST(GeneratorLexer, PatternsThatMatchNothingOrTheEmptyTextAreRefused) {
    for (const char* rule :
         {"token 1 A : 'a'*", "token 1 A : [^\\x00-\\xFF]", "token 1 A : ('a'", "token 1 A : {nope}",
          "token 1 A : \"\"", "token 1 A : [z-a]", "token 1 A : 'a' )", "token 1 A : [ab", "token 1 A : 'a\\x4'"}) {
        EXPECT_THROW(CompileGrammar(grammarText(std::string("list 0 x\n") + rule + "\n") + kLexOnlyProductions, "t"),
                     GrammarError)
            << rule;
    }
}

TEST(GeneratorLexer, DeeplyNestedGroupsAreRefusedNotOverflowed) {
    std::string pattern = std::string(5000, '(') + "'a'" + std::string(5000, ')');
    EXPECT_THROW(CompileGrammar(grammarText("list 0 x\ntoken 1 A : " + pattern + "\n") + kLexOnlyProductions, "t"),
                 GrammarError);
}

TEST(GeneratorLexer, AcceptFlagsEncodeTheListActions) {
    struct Case {
        const char* options;
        std::uint32_t flags;
        std::uint32_t list;
    };
    for (const Case& k : {Case{"", 0x10, 0}, Case{"push 1", 0x30, 1}, Case{"pop", 0x18, 0}, Case{"switch 1", 0x38, 1},
                          Case{"discard", 0x50, 0}, Case{"discard push 1", 0x70, 1}, Case{"discard switch 1", 0x78, 1},
                          Case{"discard pop", 0x58, 0}, Case{"give-back-last", 0x90, 0}}) {
        auto c = CompileGrammar(
            grammarText(std::string("list 0 x\ntoken 1 A ") + k.options + " : 'a'\nlist 1 y\ntoken 1 A : 'b'\n") +
                kLexOnlyProductions,
            "t");
        const auto& states = c.lex.lists[0].states;
        const auto& start = states[0].row;
        ASSERT_EQ(start.size(), 2u) << k.options;
        EXPECT_EQ(start[0].low, static_cast<std::uint32_t>('a'));
        const auto& accepted = states[start[0].next];
        EXPECT_EQ(accepted.flags, k.flags) << k.options;
        EXPECT_EQ(accepted.list, k.list) << k.options;
        EXPECT_EQ(accepted.token, 1u);
    }
}

TEST(GeneratorLexer, StartOfInputIsDiscardedFromTheStartStateOfEveryList) {
    auto c = CompileGrammar(
        grammarText("list 0 x\ntoken 1 A : [^a]\nlist 1 y\ntoken 2 B : 'b'\n") + kLexOnlyProductions, "t");
    for (const auto& list : c.lex.lists) {
        const auto& row = list.states[0].row;
        ASSERT_FALSE(row.empty());
        EXPECT_EQ(row.back().low, ss_layout::kStartOfInput);
        EXPECT_EQ(row.back().high, ss_layout::kStartOfInput);
        const auto& soi = list.states[row.back().next];
        EXPECT_EQ(soi.flags, ss_layout::kLexAccepting | ss_layout::kLexDiscard);
        EXPECT_EQ(soi.token, 0u);
        EXPECT_TRUE(soi.row.empty());
        for (std::size_t s = 1; s < list.states.size(); ++s)
            for (const auto& tr : list.states[s].row) EXPECT_LE(tr.high, 0xFFu);
    }
    // A negated class stops at 0xFF.
    EXPECT_EQ(c.lex.lists[0].states[0].row[1].high, 0xFFu);
}

TEST(GeneratorLexer, AutomataAreMinimal) {
    auto c = CompileGrammar(grammarText("list 0 x\ntoken 1 A : 'ac' | 'bc' | 'a' 'c'\n") + kLexOnlyProductions, "t");
    // start, after a or b, accepting, start-of-input
    EXPECT_EQ(c.lex.lists[0].states.size(), 4u);
    EXPECT_EQ(c.lex.lists[0].states[0].row[0].low, static_cast<std::uint32_t>('a'));
    EXPECT_EQ(c.lex.lists[0].states[0].row[0].high, static_cast<std::uint32_t>('b'));
}

TEST(GeneratorLexer, GivenBackCharacterIsReadAgain) {
    auto c = CompileGrammar(grammarText("list 0 x\ntoken 1 Word weak : [a-z]+\ntoken 2 Pair give-back-last : "
                                        "\"is\" ' '+ \"not\" [^a-z]\ntoken 3 Is : \"is\"\ntoken 4 Sp discard : ' '\n"
                                        "token 5 Paren : '('\n") +
                                "production 0 start = s $end\nproduction 1 s = Word\n",
                            "t");
    auto t = tablesOf(c);
    EXPECT_EQ(t.lex("is not(").tokens, (std::vector<tablecheck::Token>{{2, "is not"}, {5, "("}}));
    EXPECT_EQ(tokenNumbers(t.lex("is nothing")), (std::vector<std::uint32_t>{3, 1}));
}

// Left-associative + and *, right-associative ^, non-associative <.
const char* kExpressionGrammar =
    "list 0 x\ntoken 1 N : [0-9]\ntoken 2 Plus : '+'\ntoken 3 Times : '*'\ntoken 4 Pow : '^'\ntoken 5 Less : '<'\n"
    "nonassoc Less\nleft Plus\nleft Times\nright Pow\n"
    "production 0 start = e $end\n"
    "production 1 e = e Plus e\nproduction 2 e = e Times e\nproduction 3 e = e Pow e\n"
    "production 4 e = e Less e\nproduction 5 e = N\n";

TEST(GeneratorParser, PrecedenceAndAssociativitySettleConflicts) {
    auto c = CompileGrammar(grammarText(kExpressionGrammar), "t");
    EXPECT_EQ(c.parse.unsettled(), 0u);
    EXPECT_GT(c.parse.settled(), 0u);
    auto t = tablesOf(c);
    struct Case {
        const char* input;
        std::vector<std::uint32_t> reductions;
    };
    for (const Case& k :
         {Case{"1+2*3", {5, 5, 5, 2, 1}}, Case{"1*2+3", {5, 5, 2, 5, 1}}, Case{"1+2+3", {5, 5, 1, 5, 1}},
          Case{"1^2^3", {5, 5, 5, 3, 3}}, Case{"1<2+3", {5, 5, 5, 1, 4}}}) {
        auto r = t.parse(k.input);
        EXPECT_TRUE(r.accepted) << k.input;
        EXPECT_EQ(r.reductions, k.reductions) << k.input;
    }
    auto chained = t.parse("1<2<3");
    EXPECT_TRUE(chained.syntaxError);
    EXPECT_EQ(chained.errorToken, 5u);
}

TEST(GeneratorParser, UnsettledConflictsAreResolvedLikeYaccAndReported) {
    // The dangling else: shift wins.
    auto c = CompileGrammar(grammarText("list 0 x\ntoken 1 If : 'i'\ntoken 2 Else : 'e'\ntoken 3 X : 'x'\n"
                                        "production 0 start = s $end\nproduction 1 s = If s\n"
                                        "production 2 s = If s Else s\nproduction 3 s = X\n"),
                            "t");
    ASSERT_EQ(c.parse.conflicts.size(), 1u);
    EXPECT_EQ(c.parse.unsettled(), 1u);
    EXPECT_EQ(c.parse.conflicts[0].kind, "shift/reduce");
    EXPECT_EQ(c.parse.conflicts[0].token, 2u);
    auto r = tablesOf(c).parse("iixex");
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.reductions, (std::vector<std::uint32_t>{3, 3, 2, 1}));  // else binds to the inner if
    std::string report = tsgrammar::ConflictReport(c);
    EXPECT_NE(report.find("1 shift/reduce and 0 reduce/reduce conflicts unsettled"), std::string::npos) << report;

    // Reduce/reduce: the earlier production wins.
    auto rr = CompileGrammar(grammarText("list 0 x\ntoken 1 N : 'n'\ntoken 2 X : 'x'\n"
                                         "production 0 start = s $end\nproduction 1 s = a X\nproduction 2 s = b X\n"
                                         "production 3 b = N\nproduction 4 a = N\n"),
                             "t");
    ASSERT_EQ(rr.parse.conflicts.size(), 1u);
    EXPECT_EQ(rr.parse.conflicts[0].kind, "reduce/reduce");
    EXPECT_EQ(tablesOf(rr).parse("nx").reductions, (std::vector<std::uint32_t>{3, 2}));
}

TEST(GeneratorParser, LookaheadsAreLalrNotSlr) {
    // Conflicts under follow-set lookaheads, none under LALR(1).
    auto c = CompileGrammar(grammarText("list 0 x\ntoken 1 Eq : '='\ntoken 2 Star : '*'\ntoken 3 Id : 'i'\n"
                                        "production 0 start = s $end\nproduction 1 s = l Eq r\nproduction 2 s = r\n"
                                        "production 3 l = Star r\nproduction 4 l = Id\nproduction 5 r = l\n"),
                            "t");
    EXPECT_TRUE(c.parse.conflicts.empty());
    EXPECT_TRUE(tablesOf(c).parse("*i=i").accepted);
}

TEST(GeneratorParser, EveryReductionIsKeyedOnItsLookaheads) {
    auto c = CompileGrammar(grammarText("list 0 x\ntoken 1 A : 'a'\ntoken 2 B : 'b'\ntoken 3 C : 'c'\n"
                                        "production 0 start = s $end\nproduction 1 s = A b C\nproduction 2 b = B\n"),
                            "t");
    auto t = tablesOf(c);
    auto r = t.parse("abb");
    EXPECT_TRUE(r.syntaxError);
    EXPECT_TRUE(r.reductions.empty());  // B is not reduced before the lookahead says so
    EXPECT_EQ(r.expected, (std::vector<std::uint32_t>{3}));
    // Accept sits on end of input in the state after the start symbol.
    std::uint32_t afterS = 0;
    for (const auto& g : c.parse.states[0].gotos)
        if (g.symbol == ss_layout::kFirstNonTerminal) afterS = g.value;
    EXPECT_EQ(t.action(afterS, ss_layout::kEndOfInputToken), ss_layout::kActionAccept);
}

TEST(GeneratorGrammarFile, MistakesAreReportedWithTheirLine) {
    struct Case {
        const char* body;
        const char* message;
    };
    const std::string lex = "list 0 x\ntoken 1 A : 'a'\n";
    for (const Case& k :
         {Case{"production 0 start = s $end\nproduction 2 s = A\n", "out of order"},
          Case{"production 0 start = s $end\nproduction 1 s = t\n", "neither a token nor defined"},
          Case{"production 0 start = s $end\nproduction 1 s = [9]\n", "not produced by any list"},
          Case{"production 0 start = s $end\nproduction 1 s = [1]\n", "written by its name, A"},
          Case{"token B\nproduction 0 start = s $end\nproduction 1 s = A\n", "not defined yet"},
          Case{"token B : 'b'\nproduction 0 start = s $end\nproduction 1 s = A\n", "not defined yet"},
          Case{"production 0 start = s $end\nproduction 1 s = A @set A\n", "after its right side"},
          Case{"production 0 start = s $end\nproduction 1 s = A @a-b\n", "bad production mark"},
          Case{"production 0 start = s $end\nproduction 1 s = A @x @x\n", "given twice"},
          Case{"production 0 start = s\nproduction 1 s = A\n", "production 0"},
          Case{"token 1 B : 'b'\nproduction 0 start = s $end\nproduction 1 s = A\n", "named both"},
          Case{"token 2 B push 4 : 'b'\nproduction 0 start = s $end\nproduction 1 s = A\n", "does not exist"},
          Case{"production 0 start = A $end\nproduction 1 A = A\n", "is a token name"},
          Case{"left Q\nproduction 0 start = s $end\nproduction 1 s = A\n", "not a token"},
          Case{"frobnicate\n", "unknown directive"}}) {
        try {
            CompileGrammar(grammarText(lex + k.body), "tiny.grammar");
            ADD_FAILURE() << "accepted: " << k.body;
        } catch (const GrammarError& e) {
            EXPECT_NE(std::string(e.what()).find(k.message), std::string::npos) << e.what();
        }
    }
}

TEST(GeneratorGrammarFile, DescriptionsStandBesideTheirTokensAndLists) {
    auto c = CompileGrammar(grammarText("list 0 \"plain text\" the body\n"
                                        "token 1 A push 1 \"an \\\"A\\\" : or \\\\\" : 'a'\n"
                                        "list 1 the inside\ntoken 2 B pop : '\"'\ntoken 1 A : 'b'\n") +
                                kLexOnlyProductions,
                            "t");
    ASSERT_EQ(c.grammar.lists.size(), 2u);
    EXPECT_EQ(c.grammar.lists[0].stateWords, "plain text");
    EXPECT_EQ(c.grammar.lists[0].description, "the body");
    EXPECT_EQ(c.grammar.lists[1].stateWords, "");
    EXPECT_EQ(c.grammar.tokenDescriptions, (std::map<std::uint32_t, std::string>{{1, "an \"A\" : or \\"}}));
    EXPECT_EQ(c.grammar.lists[0].rules[0].action, tsgrammar::ListAction::Push);
    EXPECT_EQ(c.grammar.lists[0].rules[0].pattern, "'a'");
    EXPECT_EQ(c.grammar.lists[1].rules[0].pattern, "'\"'");

    std::string header = tsgrammar::WriteDescriptionsHeader(c.grammar, "tiny");
    EXPECT_NE(header.find("Description{token::A, \"an \\\"A\\\" : or \\\\\"}"), std::string::npos) << header;
    EXPECT_NE(header.find("Description{0, \"plain text\"}"), std::string::npos) << header;
    EXPECT_NE(header.find("#include \"engine/grammar/tiny_symbols.h\""), std::string::npos) << header;
}

TEST(GeneratorGrammarFile, ATokenDefinedAboveIsNamedWithoutItsNumber) {
    // "token A" takes A's pattern and options into list 1; "token B pop : 'c'" is another
    // rule for B, with options of its own.
    auto c = CompileGrammar(grammarText("list 0 x\ntoken 1 A push 1 \"an A\" : 'a'\ntoken 2 B : 'b'\n"
                                        "list 1 y\ntoken A\ntoken B pop : 'c'\n") +
                                kLexOnlyProductions,
                            "t");
    const auto& again = c.grammar.lists[1].rules;
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].token, 1u);
    EXPECT_EQ(again[0].pattern, "'a'");
    EXPECT_EQ(again[0].action, tsgrammar::ListAction::Push);
    EXPECT_EQ(again[0].targetList, 1u);
    EXPECT_EQ(again[1].token, 2u);
    EXPECT_EQ(again[1].action, tsgrammar::ListAction::Pop);
    EXPECT_EQ(c.grammar.tokenDescriptions, (std::map<std::uint32_t, std::string>{{1, "an A"}}));
    auto t = tablesOf(c);
    auto r = t.lex("aacc");
    EXPECT_EQ(tokenNumbers(r), (std::vector<std::uint32_t>{1, 1, 2, 2}));
    EXPECT_EQ(r.listsAfter, (std::vector<std::uint32_t>{1, 1, 1, 0}));
}

TEST(GeneratorGrammarFile, MarkedProductionsFormSetsOfTheSymbolsHeader) {
    auto c = CompileGrammar(grammarText("list 0 x\ntoken 1 A : 'a'\ntoken 2 B : 'b'\n"
                                        "production 0 start = s $end\nproduction 1 s = s t @open\n"
                                        "production 2 s = t\nproduction 3 t = A @open @letters\n"
                                        "production 4 t = B @letters\nproduction 5 t = @open\n"),
                            "t");
    EXPECT_EQ(c.grammar.productions[3].rhs, std::vector<std::string>{"A"});
    EXPECT_EQ(c.grammar.productions[5].rhs.size(), 0u);
    std::string header = tsgrammar::WriteSymbolsHeader(c.grammar, "tiny");
    EXPECT_NE(header.find("inline constexpr std::array<std::uint32_t, 3> open{\n    production::s_s_t,\n"
                          "    production::t_A,\n    production::t_empty,\n};"),
              std::string::npos)
        << header;
    EXPECT_NE(header.find("std::array<std::uint32_t, 2> letters{\n    production::t_A,\n    production::t_B,\n};"),
              std::string::npos)
        << header;
    // A grammar without marks has no sets.
    auto plain = CompileGrammar(grammarText("list 0 x\ntoken 1 A : 'a'\n") + kLexOnlyProductions, "t");
    EXPECT_EQ(tsgrammar::WriteSymbolsHeader(plain.grammar, "tiny").find("production_set"), std::string::npos);
}

TEST(GeneratorGrammarFile, DescriptionMistakesAreReported) {
    for (const char* body : {"list 0 x\ntoken 1 A \"words : 'a'\n", "list 0 x\ntoken 1 A \"\" : 'a'\n",
                             "list 0 x\ntoken 1 A \"a\\b\" : 'a'\n",
                             "list 0 x\ntoken 1 A \"one\" : 'a'\nlist 1 y\ntoken 1 A \"two\" : 'b'\n"}) {
        try {
            CompileGrammar(grammarText(body) + kLexOnlyProductions, "tiny.grammar");
            ADD_FAILURE() << "accepted: " << body;
        } catch (const GrammarError& e) {
            EXPECT_NE(std::string(e.what()).find("tiny.grammar:"), std::string::npos) << e.what();
        }
    }
}

// The program itself: conflicts fail the build unless allowed, and the symbols header is checked.
class GeneratorProgram : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        folder_ = dir_;
    }

    int run(const std::string& grammar, const std::string& extra) {
        std::ofstream(folder_ / "g.grammar") << grammarText(grammar);
        std::string cmd = std::string(TESSARO_BINARY_DIR) + "/bin/tsgrammar " + (folder_ / "g.grammar").string() +
                          " --prefix Tiny --namespace tiny --source " + (folder_ / "out.cpp").string() + " " + extra +
                          " >" + (folder_ / "log").string() + " 2>&1";
        int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::filesystem::path folder_;
};

TEST_F(GeneratorProgram, FailsOnUnsettledConflictsAndStaleSymbols) {
    const std::string dangling =
        "list 0 x\ntoken 1 If : 'i'\ntoken 2 Else : 'e'\ntoken 3 X : 'x'\nproduction 0 start = s $end\n"
        "production 1 s = If s\nproduction 2 s = If s Else s\nproduction 3 s = X\n";
    EXPECT_EQ(run(dangling, ""), 1);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "out.cpp"));
    EXPECT_EQ(run(dangling, "--allow-conflicts --symbols " + (folder_ / "s.h").string()), 0);
    EXPECT_TRUE(std::filesystem::exists(folder_ / "out.cpp"));
    EXPECT_EQ(run(dangling, "--allow-conflicts --check-symbols " + (folder_ / "s.h").string()), 0);
    std::ofstream(folder_ / "s.h", std::ios::app) << "// edited\n";
    EXPECT_EQ(run(dangling, "--allow-conflicts --check-symbols " + (folder_ / "s.h").string()), 1);
}

}  // namespace
