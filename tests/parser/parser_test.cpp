#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <string>
#include <vector>

#include "engine/parser/ss_lex.h"
#include "engine/parser/ss_parse_check.h"
#include "engine/parser/ss_yacc.h"
#include "engine/parser/table_layout.h"
#include "tests/parser/table_builder.h"

using namespace ss_layout;
using namespace table_builder;

namespace {

constexpr std::uint32_t kEof = kEndOfInputToken;

// Tokens: number 1, '+' 2, 'a' 3, 'x' 4, 'b' 5, 'c' 6; spaces and the start of input are
// discarded.
std::vector<unsigned char> TokenTable() {
    LexList l0 = ListWithStartAndSpaces();
    std::uint32_t number = l0.add(1, kLexAccepting);
    l0.on(0, '0', '9', number);
    l0.on(number, '0', '9', number);
    l0.literal(0, "+", 2);
    l0.literal(0, "a", 3);
    l0.literal(0, "x", 4);
    l0.literal(0, "b", 5);
    l0.literal(0, "c", 6);
    return LexTable({l0});
}

// 0: start -> E eof; 1: E -> E + number; 2: E -> number; 3: E -> %error
YaccTableDesc SumGrammar() {
    YaccTableDesc desc;
    desc.productions = {{2, 0}, {3, 0x4001}, {1, 0x4001}, {1, 0x4001}};
    YaccRow s0, s1, s2, s3, s4, s5;
    s0.actions = {{Shift(2), 1}};
    s0.gotos = {{1, 0x4001}};
    s1.actions = {{Shift(3), 2}, {Accept(), kEof}};
    s2.actions = {{Reduce(2), 2}, {Reduce(2), kEof}};
    s3.actions = {{Shift(4), 1}};
    s4.actions = {{Reduce(1), 2}, {Reduce(1), kEof}};
    s5.actions = {{Reduce(3), 2}, {Reduce(3), kEof}};
    desc.rows = {s0, s1, s2, s3, s4, s5};
    return desc;
}

// The same grammar whose state 0 recovers through "%error" into state 5.
YaccTableDesc SumGrammarWithRecovery() {
    YaccTableDesc desc = SumGrammar();
    desc.rows[0].errorState = 5;
    return desc;
}

// 0: start -> L eof; 1: L -> A x b; 2: L -> B x c; 3: A -> a; 4: B -> a.
// After 'a' with 'x' ahead only the token behind 'x' tells A from B: automaton 0 reads it.
YaccTableDesc TwoTokenLookahead() {
    YaccTableDesc desc;
    desc.productions = {{2, 0}, {3, 0x4001}, {3, 0x4001}, {1, 0x4002}, {1, 0x4003}};
    YaccRow s[9];
    s[0].actions = {{Shift(1), 3}};
    s[0].gotos = {{2, 0x4001}, {3, 0x4002}, {4, 0x4003}};
    s[1].actions = {{Look(0), 4}};
    s[2].actions = {{Accept(), kEof}};
    s[3].actions = {{Shift(5), 4}};
    s[4].actions = {{Shift(6), 4}};
    s[5].actions = {{Shift(7), 5}};
    s[6].actions = {{Shift(8), 6}};
    s[7].actions = {{Reduce(1), kEof}};
    s[8].actions = {{Reduce(2), kEof}};
    desc.rows.assign(std::begin(s), std::end(s));
    LexList automaton;
    std::uint32_t start = automaton.add();
    std::uint32_t afterX = automaton.add();
    std::uint32_t reduceA = automaton.add(3, kLexAccepting | kLexReduce);
    std::uint32_t reduceB = automaton.add(4, kLexAccepting | kLexReduce);
    automaton.on(start, 4, 4, afterX);
    automaton.on(afterX, 5, 5, reduceA);
    automaton.on(afterX, 6, 6, reduceB);
    desc.automata = {automaton};
    return desc;
}

struct ValueElement : SSParseStackEntry {
    long value = 0;
};

// Sums the numbers and records every reduction and queued lexeme.
class SumParser : public SSYacc {
public:
    SumParser(const SSParseTables* table, const SSLexStateTables* lexTables, const std::string& text) {
        lexer.setTables(lexTables);
        lexer.setSource(std::make_unique<SSStringInputSource>(text.data(), text.size()));
        lexer.pushExpressionList(0);
        setLex(&lexer);
        setTable(table);
    }

    SSRefPtr<SSParseStackEntry> stackElement() override { return SSRefPtr<SSParseStackEntry>(new ValueElement); }

    SSRefPtr<SSParseStackEntry> reduce(std::uint32_t production, std::uint32_t rhsLength) override {
        reductions.push_back(production);
        if (onReduce) onReduce(production, rhsLength);
        SSRefPtr<SSParseStackEntry> result = stackElement();
        auto* out = static_cast<ValueElement*>(result.get());
        if (!sums) {
        } else if (production == 1) {
            auto* left = static_cast<ValueElement*>(elementFromProduction(0));
            SSParseStackEntry* right = elementFromProduction(2);
            out->value = left->value + std::stol(right->lexeme()->text());
        } else if (production == 2) {
            out->value = std::stol(elementFromProduction(0)->lexeme()->text());
        }
        last = out->value;
        return result;
    }

    int onQueuedToken(SSToken* lexeme) override {
        queued.push_back(lexeme->token());
        return 0;
    }

    SSRefPtr<SSParseStackEntry> shift(SSToken* lookahead) override {
        shifted.push_back(lookahead->token());
        if (onShift) onShift(lookahead);
        return SSYacc::shift(lookahead);
    }

    SSLex lexer;
    std::vector<std::uint32_t> reductions;
    std::vector<std::uint32_t> queued;
    std::vector<std::uint32_t> shifted;
    std::function<void(std::uint32_t, std::uint32_t)> onReduce;
    std::function<void(SSToken*)> onShift;
    bool sums = true;
    long last = 0;
};

class ParserTest : public ::testing::Test {
protected:
    ParserTest()
        : lexBytes(TokenTable()),
          lexTables(lexBytes.data(), lexBytes.size(), "TOKENS"),
          sumBytes(YaccTable(SumGrammar())),
          sum(sumBytes.data(), sumBytes.size(), "SUM") {}

    std::vector<unsigned char> lexBytes;
    SSLexStateTables lexTables;
    std::vector<unsigned char> sumBytes;
    SSParseTables sum;
};

std::uint32_t codeOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const SSException& e) {
        return e.code;
    }
    return 0;
}

TEST_F(ParserTest, AcceptedInputReturnsZeroAfterEveryReduction) {
    SumParser parser(&sum, &lexTables, "1 + 20 + 300");
    EXPECT_EQ(parser.parse(), 0);
    EXPECT_EQ(parser.reductions, (std::vector<std::uint32_t>{2, 1, 1}));
    EXPECT_EQ(parser.last, 321);
    EXPECT_EQ(parser.shifted, (std::vector<std::uint32_t>{1, 2, 1, 2, 1}));
}

TEST_F(ParserTest, SyntaxErrorWithoutRecoveryRowsRaisesCode16) {
    SumParser parser(&sum, &lexTables, "1 + + 2");
    try {
        parser.parse();
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 16u);
        EXPECT_STREQ(e.text, "SSYacc0105e: Error token failed, no valid token");
    }
    EXPECT_EQ(parser.state(), 3u);  // where the error occurred: the expected tokens come from it
    EXPECT_EQ(parser.expectedTokens(parser.state()), (std::vector<std::uint32_t>{1}));
}

TEST_F(ParserTest, FailuresReturnOneWhenNothingIsThrown) {
    SSOptions().throwOnError = 0;
    SumParser syntax(&sum, &lexTables, "1 + + 2");
    SumParser lexical(&sum, &lexTables, "1 + ?");
    int syntaxResult = syntax.parse();
    int lexicalResult = lexical.parse();
    SSOptions().throwOnError = 1;
    EXPECT_EQ(syntaxResult, 1);
    EXPECT_EQ(syntax.pendingError().get()->code, 16u);
    // A lexer error is not the end of input: the parse fails with the lexer's error.
    EXPECT_EQ(lexicalResult, 1);
    ASSERT_TRUE(lexical.pendingError().pending());
    EXPECT_EQ(lexical.pendingError().get()->code, 5u);
}

TEST_F(ParserTest, RecoveredErrorStillReturnsOne) {
    std::vector<unsigned char> bytes = YaccTable(SumGrammarWithRecovery());
    SSParseTables table(bytes.data(), bytes.size(), "SUM");
    SumParser parser(&table, &lexTables, "1 + + 2");
    EXPECT_EQ(parser.parse(), 1);
    // 1 reduces to E; at the second '+' the stack unwinds to state 0, "%error" becomes E.
    EXPECT_EQ(parser.reductions, (std::vector<std::uint32_t>{2, 3, 1}));
}

TEST_F(ParserTest, ElementFromProductionIndexesTheRightHandSide) {
    SumParser parser(&sum, &lexTables, "4 + 5");
    std::vector<std::string> seen;
    std::uint32_t badIndexCode = 0;
    parser.onReduce = [&](std::uint32_t production, std::uint32_t rhsLength) {
        if (production != 1) return;
        EXPECT_EQ(rhsLength, 3u);
        EXPECT_EQ(parser.elementFromProduction(1)->lexeme()->view(), "+");
        EXPECT_EQ(parser.elementFromProduction(2)->lexeme()->view(), "5");
        badIndexCode = codeOf([&] { parser.elementFromProduction(3); });
    };
    EXPECT_EQ(parser.parse(), 0);
    EXPECT_EQ(badIndexCode, 19u);
    EXPECT_EQ(parser.last, 9);
}

TEST_F(ParserTest, MissingGotoRaisesCode18WithTheSymbol) {
    YaccTableDesc desc = SumGrammar();
    desc.rows[0].gotos.clear();
    std::vector<unsigned char> bytes = YaccTable(desc);
    SSParseTables table(bytes.data(), bytes.size(), "SUM");
    SumParser parser(&table, &lexTables, "1");
    try {
        parser.parse();
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 18u);
        EXPECT_STREQ(e.text, "SSYacc0107e: Invalid goto on 16385");
    }
}

TEST_F(ParserTest, MissingTableOrLexerRaises) {
    SumParser noTable(nullptr, &lexTables, "1");
    EXPECT_EQ(codeOf([&] { noTable.parse(); }), 20u);
    SumParser noLexer(&sum, &lexTables, "1");
    noLexer.setLex(nullptr);
    EXPECT_EQ(codeOf([&] { noLexer.parse(); }), 21u);
}

TEST_F(ParserTest, ReadAfterTheEndOfInputRaisesCode14) {
    SumParser parser(&sum, &lexTables, "1");
    ASSERT_EQ(parser.parse(), 0);
    EXPECT_TRUE(parser.endOfInput());
    try {
        parser.nextLookahead();
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 14u);
        EXPECT_STREQ(e.text, "SSYacc0103e: Attempted read past eof");
    }
}

TEST_F(ParserTest, AbortFlagStopsAtTheNextStep) {
    SumParser parser(&sum, &lexTables, "1 + 2 + 3");
    parser.onReduce = [&](std::uint32_t, std::uint32_t) { parser.setAbort(1); };
    EXPECT_EQ(parser.parse(), 1);
    EXPECT_EQ(parser.reductions.size(), 1u);
}

TEST_F(ParserTest, NullElementFromReduceFails) {
    class Refusing : public SumParser {
    public:
        using SumParser::SumParser;
        SSRefPtr<SSParseStackEntry> reduce(std::uint32_t, std::uint32_t) override { return {}; }
    };
    Refusing parser(&sum, &lexTables, "1");
    EXPECT_EQ(parser.parse(), 1);
}

TEST_F(ParserTest, ExpectedTokensOfAStateAndOutOfRangeStates) {
    SumParser parser(&sum, &lexTables, "");
    EXPECT_EQ(parser.expectedTokens(1), (std::vector<std::uint32_t>{2, kEof}));
    EXPECT_EQ(codeOf([&] { parser.expectedTokens(6); }), 35u);
    EXPECT_EQ(codeOf([&] { parser.expectedTokens(5); }), 0u);
}

TEST_F(ParserTest, LookaheadAutomatonReadsAheadAndDeliversEachLexemeOnce) {
    std::vector<unsigned char> bytes = YaccTable(TwoTokenLookahead());
    SSParseTables table(bytes.data(), bytes.size(), "LOOK");
    ASSERT_EQ(table.automatonCount(), 1u);
    for (auto [text, production, last] :
         {std::tuple<const char*, std::uint32_t, std::uint32_t>{"a x b", 3, 1}, {"a x c", 4, 2}}) {
        SumParser parser(&table, &lexTables, text);
        parser.sums = false;
        EXPECT_EQ(parser.parse(), 0) << text;
        EXPECT_EQ(parser.reductions, (std::vector<std::uint32_t>{production, last})) << text;
        EXPECT_EQ(parser.shifted, (std::vector<std::uint32_t>{3, 4, production == 3 ? 5u : 6u}));
        EXPECT_EQ(parser.queued, (std::vector<std::uint32_t>{production == 3 ? 5u : 6u}));
    }
}

TEST_F(ParserTest, FailedLookaheadAutomatonIsASyntaxError) {
    std::vector<unsigned char> bytes = YaccTable(TwoTokenLookahead());
    SSParseTables table(bytes.data(), bytes.size(), "LOOK");
    for (const char* text : {"a x a", "a x"}) {
        SumParser parser(&table, &lexTables, text);
        parser.sums = false;
        EXPECT_EQ(codeOf([&] { parser.parse(); }), 16u) << text;
    }
}

// The loop rewind: during a reduction the lexer goes back to a saved state and the parser
// takes a fresh lookahead from there.
TEST_F(ParserTest, RewoundLexerRepeatsInputThroughTheParser) {
    SumParser parser(&sum, &lexTables, "1 + 2 + 3");
    SSLexState saved;
    int rewinds = 0;
    bool savedOnce = false;
    parser.onShift = [&](SSToken*) {
        if (!savedOnce) saved = parser.lexer.saveState();  // just behind "1": '+' comes next
        savedOnce = true;
    };
    parser.onReduce = [&](std::uint32_t production, std::uint32_t) {
        if (production == 1 && parser.lookahead()->token() == kEof && rewinds < 2) {
            ++rewinds;
            ASSERT_TRUE(parser.lexer.restoreState(saved));
            ASSERT_EQ(parser.restartLookahead(), 0);
        }
    };
    EXPECT_EQ(parser.parse(), 0);
    EXPECT_EQ(rewinds, 2);
    // 1, then "+ 2 + 3" three times.
    EXPECT_EQ(parser.last, 1 + 3 * (2 + 3));
}

}  // namespace

namespace {

// A parser and lexer kept for the next input: after any way a parse can end, a reset gives
// the same parse as a new object would.
TEST_F(ParserTest, ResetParserAndLexerParseTheNextInputAsNew) {
    std::vector<unsigned char> lookBytes = YaccTable(TwoTokenLookahead());
    SSParseTables look(lookBytes.data(), lookBytes.size(), "LOOK");
    struct Case {
        const char* first;
        std::uint32_t firstCode;  // 0: the first parse ends without an exception
        bool abortInReduce;
        bool throwInReduce;
    };
    const Case cases[] = {
        {"1 + 20", 0, false, false},   {"1 + + 2", 16, false, false}, {"1 + ?", 5, false, false},
        {"1 +", 16, false, false},     {"1 + 2 + 3", 0, true, false}, {"1 + 2 + 3", 0, false, true},
        {"", 16, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        SumParser parser(&sum, &lexTables, c.first);
        if (c.abortInReduce) parser.onReduce = [&](std::uint32_t, std::uint32_t) { parser.setAbort(1); };
        if (c.throwInReduce) parser.onReduce = [](std::uint32_t, std::uint32_t) { throw std::runtime_error("action"); };
        try {
            EXPECT_EQ(codeOf([&] { parser.parse(); }), c.firstCode);
        } catch (const std::runtime_error&) {
            EXPECT_TRUE(c.throwInReduce);
        }
        for (int round = 0; round < 2; ++round) {
            parser.reset();
            parser.lexer.reset();
            parser.onReduce = nullptr;
            parser.reductions.clear();
            parser.shifted.clear();
            EXPECT_EQ(parser.stackDepth(), 1u);
            EXPECT_FALSE(parser.pendingError().pending());
            EXPECT_EQ(parser.lexer.expressionListDepth(), 0u);
            const std::string next = round == 0 ? "4 + 5 + 6" : "7";
            parser.lexer.setSource(std::make_unique<SSStringInputSource>(next.data(), next.size()));
            parser.lexer.pushExpressionList(0);
            EXPECT_EQ(parser.parse(), 0);
            EXPECT_EQ(parser.last, round == 0 ? 15 : 7);
            EXPECT_EQ(parser.reductions, round == 0 ? (std::vector<std::uint32_t>{2, 1, 1})
                                                    : (std::vector<std::uint32_t>{2}));
        }
        // The same object on another table, with queued lexemes from a lookahead.
        parser.reset();
        parser.lexer.reset();
        parser.setTable(&look);
        parser.sums = false;
        parser.reductions.clear();
        parser.lexer.setSource(std::make_unique<SSStringInputSource>("a x c", 5));
        parser.lexer.pushExpressionList(0);
        EXPECT_EQ(parser.parse(), 0);
        EXPECT_EQ(parser.reductions, (std::vector<std::uint32_t>{4, 2}));
    }
}

TEST(StringInputSourceTest, AssignStartsOverOnAnotherText) {
    SSStringInputSource source("first text\r\n", SSInputText);
    while (source.read()) {
    }
    source.makeToken();
    for (const std::string& text : {std::string("a\r\nb\rc"), std::string(), std::string("longer text than before")}) {
        source.assign(text.data(), text.size());
        std::string read;
        bool first = true;
        while (source.read()) {
            if (first) {
                EXPECT_EQ(source.current(), kStartOfInput);  // every source starts with it
                first = false;
                continue;
            }
            read += static_cast<char>(source.current());
        }
        std::string expected = text;
        if (expected == "a\r\nb\rc") expected = "a\nb\rc";
        EXPECT_EQ(read, expected);
        EXPECT_EQ(source.state().line, 0);
        EXPECT_FALSE(source.pendingError().pending());
    }
}

TEST_F(ParserTest, AStackDeeperThanTheBoundIsRefusedWithCode38) {
    // "1 + 2" stacks the start, E, "+" and the number: four deep.
    SumParser fits(&sum, &lexTables, "1 + 2");
    fits.setMaxStackDepth(4);
    EXPECT_EQ(fits.parse(), 0);
    SumParser deeper(&sum, &lexTables, "1 + 2");
    deeper.setMaxStackDepth(3);
    try {
        deeper.parse();
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 38u);
        EXPECT_STREQ(e.text, "SSYacc0115e: Input nested too deeply, more than 3 levels");
    }
    SumParser unbounded(&sum, &lexTables, "1 + 2");
    EXPECT_EQ(unbounded.maxStackDepth(), SSYacc::kDefaultMaxStackDepth);
    unbounded.setMaxStackDepth(0);
    EXPECT_EQ(unbounded.parse(), 0);
}

TEST_F(ParserTest, EveryParseOnTheThreadRunsTheInnermostCheckNowAndThen) {
    std::string text = "1";
    for (int i = 0; i < 5000; ++i) text += " + 1";
    int outerChecks = 0, innerChecks = 0;
    SSParseCheckScope outer([&outerChecks] { ++outerChecks; });
    {
        SSParseCheckScope inner([&innerChecks] { ++innerChecks; });
        SumParser parser(&sum, &lexTables, text);
        EXPECT_EQ(parser.parse(), 0);
        EXPECT_EQ(parser.last, 5001);
    }
    // About 10,000 steps: a check every 1024 of them.
    EXPECT_GE(innerChecks, 9);
    EXPECT_LE(innerChecks, 20);
    EXPECT_EQ(outerChecks, 0);
    // A check that throws ends the parse there.
    {
        SSParseCheckScope stopping([] { throw std::runtime_error("spent"); });
        SumParser parser(&sum, &lexTables, text);
        EXPECT_THROW(parser.parse(), std::runtime_error);
        EXPECT_LT(parser.shifted.size(), 2000u);
    }
    SumParser after(&sum, &lexTables, text);
    EXPECT_EQ(after.parse(), 0);
    EXPECT_GE(outerChecks, 9);
}

}  // namespace
