#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/parser/ss_lex.h"
#include "engine/parser/table_layout.h"
#include "tests/parser/lexed.h"
#include "tests/parser/table_builder.h"
#include "tests/common/temp_home.h"

using namespace ss_layout;
using table_builder::LexList;

namespace {

// List 0: words "abc" (10) and "abcde" (11), numbers (2), '<' enters list 1 (3), '#...#'
// comments discarded through list 3, white space (LF, CR, space) discarded.
// List 1 (which may also come first): '>' leaves (4), 'x' (5), '!' switches to list 2 (6).
// List 2: 'y' (7), '>' leaves (8).
// List 3: '#' leaves, discarded; anything else discarded.
std::vector<unsigned char> TestTable() {
    LexList l0;
    std::uint32_t start = l0.add();
    std::uint32_t sentinel = l0.add(1, kLexAccepting | kLexDiscard);
    std::uint32_t space = l0.add(1, kLexAccepting | kLexDiscard);
    l0.on(start, kStartOfInput, kStartOfInput, sentinel);
    for (std::uint32_t s : {start, space}) {
        l0.on(s, '\n', '\n', space);
        l0.on(s, '\r', '\r', space);
        l0.on(s, ' ', ' ', space);
    }
    std::uint32_t abc = l0.literal(start, "abc", 10);
    l0.literal(abc, "de", 11);
    std::uint32_t number = l0.add(2, kLexAccepting);
    l0.on(start, '0', '9', number);
    l0.on(number, '0', '9', number);
    l0.literal(start, "<", 3, kLexAccepting | kLexPush, 1);
    l0.literal(start, "#", 9, kLexAccepting | kLexPush | kLexDiscard, 3);

    LexList l1;
    std::uint32_t s1 = l1.add();
    l1.on(s1, kStartOfInput, kStartOfInput, l1.add(1, kLexAccepting | kLexDiscard));
    l1.literal(s1, ">", 4, kLexAccepting | kLexPop);
    l1.literal(s1, "x", 5);
    l1.literal(s1, "!", 6, kLexAccepting | kLexSwitch, 2);

    LexList l2;
    std::uint32_t s2 = l2.add();
    l2.literal(s2, "y", 7);
    l2.literal(s2, ">", 8, kLexAccepting | kLexPop);

    LexList l3;
    std::uint32_t s3 = l3.add();
    std::uint32_t other = l3.add(12, kLexAccepting | kLexDiscard);
    l3.on(s3, 0, '#' - 1, other);
    l3.on(s3, '#' + 1, 255, other);
    l3.literal(s3, "#", 13, kLexAccepting | kLexPop | kLexDiscard);
    return table_builder::LexTable({l0, l1, l2, l3});
}

class LexerTest : public ::testing::Test {
protected:
    LexerTest() : tableBytes(TestTable()), tables(tableBytes.data(), tableBytes.size(), "TEST") {}

    void start(SSLex& lexer, const std::string& text) {
        lexer.setTables(&tables);
        lexer.setSource(std::make_unique<SSStringInputSource>(text.data(), text.size()));
        lexer.pushExpressionList(0);
    }

    std::vector<Lexed> lexAll(const std::string& text) {
        SSLex lexer;
        start(lexer, text);
        return Drain(lexer);
    }

    std::vector<unsigned char> tableBytes;
    SSLexStateTables tables;
};

TEST_F(LexerTest, LongestMatchWinsAndTheRestIsReadAgain) {
    EXPECT_EQ(lexAll("abcde abc"), (std::vector<Lexed>{{11, "abcde", 1, 1}, {10, "abc", 1, 7}}));
    // After "abcd" no longer match accepts: "abc" is taken and "d..." is scanned anew.
    SSLex lexer;
    start(lexer, "abcd");
    SSRefPtr<SSToken> first = lexer.nextToken();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->view(), "abc");
    try {
        lexer.nextToken();
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 5u);
        EXPECT_STREQ(e.text, "SSLex0105e: Invalid token, Line 1, Offset 4, d");
    }
}

TEST_F(LexerTest, LineNumbersStartAtOneAndCountLineFeeds) {
    EXPECT_EQ(lexAll("1\n2\r\n3\r4"),
              (std::vector<Lexed>{{2, "1", 1, 1}, {2, "2", 2, 1}, {2, "3", 3, 1}, {2, "4", 3, 3}}));
}

TEST_F(LexerTest, TemplateFilesCountCrLfAsOneLine) {
    tessaro::test::TempFolder dir;
    std::string file = dir.write("t.tsm", "1\n2\r\n3\r4\r\n\r\n5");
    SSLex lexer(file.c_str());
    lexer.setTables(&tables);
    lexer.pushExpressionList(0);
    EXPECT_EQ(Drain(lexer),
              (std::vector<Lexed>{{2, "1", 1, 1}, {2, "2", 2, 1}, {2, "3", 3, 1}, {2, "4", 3, 3}, {2, "5", 5, 1}}));
}

TEST_F(LexerTest, ListStackFollowsPushSwitchAndPop) {
    EXPECT_EQ(lexAll("<x!y>12"),
              (std::vector<Lexed>{
                  {3, "<", 1, 1}, {5, "x", 1, 2}, {6, "!", 1, 3}, {7, "y", 1, 4}, {8, ">", 1, 5}, {2, "12", 1, 6}}));
}

TEST_F(LexerTest, DiscardedMatchesLeaveNoLexemeAndTheNextStartsBehind) {
    EXPECT_EQ(lexAll("1#a<b#2"), (std::vector<Lexed>{{2, "1", 1, 1}, {2, "2", 1, 7}}));
}

TEST_F(LexerTest, UnmatchedTextRaisesCode5WithoutAToken) {
    SSLex lexer;
    start(lexer, "12 ?");
    ASSERT_TRUE(lexer.nextToken());
    try {
        lexer.nextToken();
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 5u);
        EXPECT_STREQ(e.text, "SSLex0105e: Invalid token, Line 1, Offset 4, ?");
    }
    // The error stays pending: the lexer delivers nothing more until it is cleared.
    EXPECT_FALSE(lexer.nextToken());
    ASSERT_TRUE(lexer.pendingError().pending());
    EXPECT_EQ(lexer.pendingError().get()->code, 5u);
}

TEST_F(LexerTest, PopThatEmptiesTheListStackRaisesCode9) {
    // '>' pops in list 1 only; pushing 1 directly leaves nothing below it.
    SSLex lexer;
    lexer.setTables(&tables);
    lexer.setSource(std::make_unique<SSStringInputSource>(">"));
    lexer.pushExpressionList(1);
    try {
        lexer.nextToken();
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 9u);
        EXPECT_STREQ(e.text, "SSLifo0002e: No top, stack empty");
    }
    EXPECT_EQ(lexer.expressionListDepth(), 0u);
    ASSERT_TRUE(lexer.pendingError().pending());
    EXPECT_FALSE(lexer.nextToken());
}

TEST_F(LexerTest, ExpressionListIndexesAreChecked) {
    SSLex lexer;
    start(lexer, "");
    EXPECT_TRUE(lexer.isCurrentExpressionList(0));
    EXPECT_FALSE(lexer.isCurrentExpressionList(3));
    try {
        lexer.isCurrentExpressionList(4);
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 6u);
        EXPECT_STREQ(e.text, "SSLex0106e: Invalid expression list index, 4");
    }
    try {
        tables.expressionList(26);
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_STREQ(e.text, "SSLex0106e: Invalid expression list index, 26");
    }
}

TEST_F(LexerTest, MissingTableOrSourceRaisesCode7) {
    SSLex noTable;
    noTable.setSource(std::make_unique<SSStringInputSource>("1"));
    SSLex noSource;
    noSource.setTables(&tables);
    for (SSLex* lexer : {&noTable, &noSource}) {
        try {
            lexer->nextToken();
            FAIL() << "nothing thrown";
        } catch (const SSException& e) {
            EXPECT_EQ(e.code, 7u);
            EXPECT_STREQ(e.text, "SSLex0107e: Table or consumer missing, required");
        }
    }
}

TEST_F(LexerTest, SavedStateRewindsPositionListsAndEndOfInput) {
    SSLex lexer;
    start(lexer, "1 <x!y> 2");
    ASSERT_TRUE(lexer.nextToken());  // 1
    ASSERT_TRUE(lexer.nextToken());  // <
    SSLexState saved = lexer.saveState();
    std::vector<Lexed> first = Drain(lexer);
    ASSERT_EQ(first.size(), 5u);
    EXPECT_EQ(lexer.currentExpressionList(), 0u);
    ASSERT_TRUE(lexer.restoreState(saved));
    EXPECT_EQ(lexer.currentExpressionList(), 1u);
    EXPECT_EQ(Drain(lexer), first);
}

TEST_F(LexerTest, TokenHookMayDropTokens) {
    class DropNumbers : public SSLex {
    public:
        SSRefPtr<SSToken> onTokenAccepted(SSInputSource& source, std::uint32_t token,
                                          const SSAcceptPosition& accept) override {
            SSRefPtr<SSToken> lexeme = SSLex::onTokenAccepted(source, token, accept);
            return token == 2 ? SSRefPtr<SSToken>() : lexeme;
        }
    };
    DropNumbers lexer;
    start(lexer, "1 abc 2 abcde 3");
    std::vector<Lexed> tokens = Drain(lexer);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].token, 10u);
    EXPECT_EQ(tokens[1].token, 11u);
    EXPECT_EQ(lexer.tokenCount(), 5u);
}

TEST_F(LexerTest, ErrorHookThatDeclinesSkipsTheUnmatchedText) {
    class Skipping : public SSLex {
    public:
        SSRefPtr<SSToken> error(SSInputSource& source) override {
            skipped.push_back(std::string(source.makeToken()->view()));
            return {};
        }
        std::vector<std::string> skipped;
    };
    Skipping lexer;
    start(lexer, "1 ?? 2");
    std::vector<Lexed> tokens = Drain(lexer);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[1], (Lexed{2, "2", 1, 6}));
    EXPECT_EQ(lexer.skipped, (std::vector<std::string>{"?", "?"}));
}

// A start state that accepts the empty text would return (or discard) nothing for ever.
TEST(LexerFlagsTest, EmptyMatchIsNoMatch) {
    for (std::uint32_t flags : {kLexAccepting, kLexAccepting | kLexDiscard}) {
        LexList l0;
        std::uint32_t start = l0.add(5, flags);
        l0.on(start, kStartOfInput, kStartOfInput, l0.add(1, kLexAccepting | kLexDiscard));
        std::vector<unsigned char> bytes = table_builder::LexTable({l0});
        SSLexStateTables tables(bytes.data(), bytes.size(), "EMPTY");
        SSLex lexer;
        lexer.setTables(&tables);
        lexer.setSource(std::make_unique<SSStringInputSource>("q"));
        lexer.pushExpressionList(0);
        try {
            lexer.nextToken();
            FAIL() << "nothing thrown";
        } catch (const SSException& e) {
            EXPECT_STREQ(e.text, "SSLex0105e: Invalid token, Line 1, Offset 1, q");
        }
    }
}

// A table with the flags no template uses: give back the last character, and a leading
// line break that does not belong to the lexeme.
TEST(LexerFlagsTest, GiveBackAndLeadingLineBreak) {
    LexList l0;
    std::uint32_t start = l0.add();
    l0.on(start, kStartOfInput, kStartOfInput, l0.add(1, kLexAccepting | kLexDiscard));
    // "ab" gives back its 'b': token 20 is "a" and 'b' is read again as token 21.
    l0.literal(start, "ab", 20, kLexAccepting | kLexGiveBackLast);
    l0.literal(start, "b", 21);
    // "\nq": token 22 without its line feed.
    l0.literal(start, "\nq", 22, kLexAccepting | kLexLeadingLineBreak);
    std::vector<unsigned char> bytes = table_builder::LexTable({l0});
    SSLexStateTables tables(bytes.data(), bytes.size(), "FLAGS");
    SSLex lexer;
    lexer.setTables(&tables);
    lexer.setSource(std::make_unique<SSStringInputSource>("ab\nq"));
    lexer.pushExpressionList(0);
    EXPECT_EQ(Drain(lexer), (std::vector<Lexed>{{20, "a", 1, 1}, {21, "b", 1, 2}, {22, "q", 2, 1}}));
}

// Without a start-of-input discard the first lexeme starts at line 0, offset 0.
TEST(LexerFlagsTest, TableKeepingTheStartOfInputBeginsAtLineZero) {
    LexList l0;
    std::uint32_t start = l0.add();
    std::uint32_t word = l0.add(5, kLexAccepting);
    l0.on(start, kStartOfInput, kStartOfInput, word);
    l0.on(start, 'a', 'z', word);
    l0.on(word, 'a', 'z', word);
    std::vector<unsigned char> bytes = table_builder::LexTable({l0});
    SSLexStateTables tables(bytes.data(), bytes.size(), "RAW");
    SSLex lexer;
    lexer.setTables(&tables);
    lexer.setSource(std::make_unique<SSStringInputSource>("ab"));
    lexer.pushExpressionList(0);
    SSRefPtr<SSToken> t = lexer.nextToken();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->view(), "ab");
    EXPECT_EQ(t->line(), 0);
    EXPECT_EQ(t->offset(), 0);
}

}  // namespace
