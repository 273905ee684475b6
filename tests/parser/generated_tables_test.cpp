#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/parser/ss_lex.h"
#include "engine/parser/ss_parse_tables.h"
#include "engine/parser/ss_yacc.h"
#include "tests/parser/lexed.h"
#include "tests/common/temp_home.h"
#include "engine/grammar/expression_symbols.h"
#include "engine/grammar/grammar_tables.h"
#include "engine/grammar/template_symbols.h"

namespace {

namespace tg = tessaro::grammar::template_grammar;
namespace eg = tessaro::grammar::expression_grammar;

class GeneratedTablesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(tessaro::grammar::RegisterGrammarTables()); }
};

TEST_F(GeneratedTablesTest, AllFourTablesLoadThroughTheRegistry) {
    SSLexStateTables templateLex(nullptr, "IDR_LEX_TSPARSER", "LEX");
    SSParseTables templateYacc(nullptr, "IDR_YACC_TSPARSER", "YACC");
    SSLexStateTables expressionLex(nullptr, "IDR_LEX_BOOLPARSER", "LEX");
    SSParseTables expressionYacc(nullptr, "IDR_YACC_BOOLPARSER", "YACC");
    EXPECT_EQ(templateLex.listCount(), tg::kListCount);
    EXPECT_EQ(templateYacc.productionCount(), tg::kProductionCount);
    EXPECT_EQ(expressionLex.listCount(), eg::kListCount);
    EXPECT_EQ(expressionYacc.productionCount(), eg::kProductionCount);
    EXPECT_EQ(templateYacc.production(0).rhsLength, 2u);
    EXPECT_EQ(templateYacc.production(0).lhs, 0u);

    SSLex lexer;
    lexer.setTables(&templateLex);
    try {
        lexer.isCurrentExpressionList(26);
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_STREQ(e.text, "SSLex0106e: Invalid expression list index, 26");
    }
}

TEST_F(GeneratedTablesTest, TemplateLinesStartAtOneAndCrLfIsOneLine) {
    SSLexStateTables tables(nullptr, "IDR_LEX_TSPARSER", "LEX");
    tessaro::test::TempFolder dir;
    std::string file = dir.write("t.tsm", "ab\r\n<\r\nc");
    SSLex lexer(file.c_str());
    lexer.setTables(&tables);
    lexer.pushExpressionList(0);
    EXPECT_EQ(Drain(lexer),
              (std::vector<Lexed>{
                  {tg::token::Text, "ab\n", 1, 1}, {tg::token::Text, "<", 2, 1}, {tg::token::Text, "\nc", 2, 2}}));
}

class RecordingParser : public SSYacc {
public:
    SSRefPtr<SSParseStackEntry> reduce(std::uint32_t production, std::uint32_t) override {
        reductions.push_back(production);
        return stackElement();
    }
    std::vector<std::uint32_t> reductions;
};

TEST_F(GeneratedTablesTest, PlainTemplateParses) {
    SSLexStateTables lexTables(nullptr, "IDR_LEX_TSPARSER", "LEX");
    SSParseTables table(nullptr, "IDR_YACC_TSPARSER", "YACC");
    SSLex lexer;
    lexer.setTables(&lexTables);
    lexer.setSource(std::make_unique<SSStringInputSource>("Hello <b>world</b>\n"));
    lexer.pushExpressionList(0);
    RecordingParser parser;
    parser.setLex(&lexer);
    parser.setTable(&table);
    EXPECT_EQ(parser.parse(), 0);
    // Every piece of text is an item (production 16).
    EXPECT_GE(std::count(parser.reductions.begin(), parser.reductions.end(), 16u), 1);
}

TEST_F(GeneratedTablesTest, ExpressionLexerSkipsStartAndWhiteSpace) {
    SSLexStateTables tables(nullptr, "IDR_LEX_BOOLPARSER", "LEX");
    SSLex lexer;
    lexer.setTables(&tables);
    lexer.setSource(std::make_unique<SSStringInputSource>(" 12 + x"));
    lexer.pushExpressionList(0);
    std::vector<Lexed> tokens = Drain(lexer);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0], (Lexed{eg::token::Int, "12", 1, 2}));
    EXPECT_EQ(tokens[1].token, eg::token::Plus);
    EXPECT_EQ(tokens[2], (Lexed{eg::token::Ident, "x", 1, 7}));
}

}  // namespace
