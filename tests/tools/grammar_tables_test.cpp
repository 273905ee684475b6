// The four compiled tables: registration, layout invariants, and agreement with the
// grammar files they were built from.
#include <gtest/gtest.h>

#include <set>

#include "engine/parser/table_layout.h"
#include "platform/resources.h"
#include "tests/common/file_text.h"
#include "tests/tools/table_driver.h"
#include "engine/grammar/grammar_tables.h"
#include "tools/tsgrammar/grammar_compiler.h"

namespace {

namespace tg = tessaro::grammar;
using tablecheck::Tables;

using tessaro::test::ReadFileText;
using tessaro::test::ReadSourceText;

// The symbols headers are written into the build tree next to the generated tables.
std::string readGenerated(const std::string& relative) {
    return ReadFileText(std::string(TESSARO_BINARY_DIR) + "/engine/grammar/generated/" + relative);
}

std::vector<unsigned char> bytes(const tg::TableBlob& b) {
    return {b.data, b.data + b.size};
}

TEST(GrammarTables, RegisteredUnderTheirResourceNames) {
    ASSERT_TRUE(tg::RegisterGrammarTables());
    ASSERT_TRUE(tg::RegisterGrammarTables());  // again: harmless
    for (const tg::TableBlob* t :
         {&tg::kTemplateLexTable, &tg::kTemplateParseTable, &tg::kExpressionLexTable, &tg::kExpressionParseTable}) {
        HRSRC found = FindResourceA(nullptr, t->name, t->type);
        ASSERT_NE(found, nullptr) << t->name;
        EXPECT_EQ(LockResource(LoadResource(nullptr, found)), t->data);
        EXPECT_EQ(SizeofResource(nullptr, found), t->size);
    }
    EXPECT_NE(FindResourceA(nullptr, "idr_lex_boolparser", "lex"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "IDR_LEX_TSPARSER", "YACC"), nullptr);
}

TEST(GrammarTables, BuiltFromTheGrammarFilesDeterministically) {
    struct Case {
        const char* file;
        const tg::TableBlob* lex;
        const tg::TableBlob* yacc;
        const char* symbols;
        const char* ns;
    };
    for (const Case& k :
         {Case{"tools/grammars/template.grammar", &tg::kTemplateLexTable, &tg::kTemplateParseTable,
               "engine/grammar/template_symbols.h", "template_grammar"},
          Case{"tools/grammars/expression.grammar", &tg::kExpressionLexTable, &tg::kExpressionParseTable,
               "engine/grammar/expression_symbols.h", "expression_grammar"}}) {
        auto c = tsgrammar::CompileGrammar(ReadSourceText(k.file), k.file);
        EXPECT_EQ(c.parse.unsettled(), 0u) << k.file;
        EXPECT_EQ(c.lexBlob, bytes(*k.lex)) << k.file;
        EXPECT_EQ(c.parseBlob, bytes(*k.yacc)) << k.file;
        EXPECT_EQ(tsgrammar::WriteSymbolsHeader(c.grammar, k.ns), readGenerated(k.symbols)) << k.symbols;
    }
}

TEST(GrammarTables, ExpressionConflictsAreAllOperatorConflictsSettledByPrecedence) {
    auto c = tsgrammar::CompileGrammar(ReadSourceText("tools/grammars/expression.grammar"), "expression");
    EXPECT_EQ(c.parse.settled(), 462u);
    for (const auto& k : c.parse.conflicts) EXPECT_EQ(k.kind, "shift/reduce");
    auto t = tsgrammar::CompileGrammar(ReadSourceText("tools/grammars/template.grammar"), "template");
    EXPECT_TRUE(t.parse.conflicts.empty());
}

void checkLexLayout(const tg::TableBlob& blob, std::uint32_t lists, const std::set<std::uint32_t>& allowedFlags) {
    using namespace ss_layout;
    std::vector<unsigned char> b = bytes(blob);
    ASSERT_EQ(Tables::word(b, 0), lists);
    ASSERT_EQ(Tables::word(b, 4), kLexMagic);
    std::size_t block = kLexFileHeaderBytes;
    for (std::uint32_t l = 0; l < lists; ++l) {
        SCOPED_TRACE("list " + std::to_string(l));
        ASSERT_EQ(Tables::word(b, block), kLexMagic);
        std::uint32_t size = Tables::word(b, block + 4);
        ASSERT_EQ(Tables::word(b, block + 44), size);
        ASSERT_LE(block + size, b.size());
        std::uint32_t states = Tables::word(b, block + 40);
        ASSERT_EQ(Tables::word(b, block + 52), kLexBlockHeaderBytes);
        ASSERT_EQ(Tables::word(b, block + 48), kLexBlockHeaderBytes + kLexAcceptRecordBytes * states);
        for (std::uint32_t s = 0; s < states; ++s) {
            std::size_t rec = block + kLexBlockHeaderBytes + kLexAcceptRecordBytes * s;
            std::uint32_t flags = Tables::word(b, rec + 8);
            EXPECT_TRUE(allowedFlags.count(flags)) << "flags " << flags;
            if (!(flags & kLexAccepting)) {
                EXPECT_EQ(Tables::word(b, rec), 0u);
            }
            if (flags & kLexPush) {
                EXPECT_LT(Tables::word(b, rec + 4), lists);
            }
            std::size_t row = block + Tables::word(b, block + Tables::word(b, block + 48) + 4 * s);
            std::uint32_t n = Tables::word(b, row);
            std::uint64_t previousHigh = 0;
            for (std::uint32_t i = 0; i < n; ++i) {
                std::uint32_t low = Tables::word(b, row + 4 + 12 * i), high = Tables::word(b, row + 8 + 12 * i);
                EXPECT_LE(low, high);
                if (i) {
                    EXPECT_GT(low, previousHigh);
                }
                previousHigh = high;
                EXPECT_LT(Tables::word(b, row + 12 + 12 * i), states);
                if (high == kStartOfInput) {
                    EXPECT_EQ(s, 0u);
                }
            }
        }
        block += size;
    }
    EXPECT_EQ(block, b.size());
}

void checkYaccLayout(const tg::TableBlob& blob, std::uint32_t productions, std::uint32_t states) {
    using namespace ss_layout;
    std::vector<unsigned char> b = bytes(blob);
    ASSERT_EQ(Tables::word(b, 0), kYaccMagic);
    ASSERT_EQ(Tables::word(b, 4), productions);
    ASSERT_EQ(Tables::word(b, 8), states);
    ASSERT_EQ(Tables::word(b, 16), 20 + 4 * states);
    ASSERT_EQ(Tables::word(b, 12), 20 + 4 * states + 8 * productions);
    EXPECT_EQ(Tables::word(b, 20 + 4 * states), 2u);
    EXPECT_EQ(Tables::word(b, 24 + 4 * states), 0u);
    std::size_t cursor = Tables::word(b, 12);
    for (std::uint32_t s = 0; s < states; ++s) {
        SCOPED_TRACE("state " + std::to_string(s));
        ASSERT_EQ(Tables::word(b, 20 + 4 * s), cursor);  // rows packed in state order
        EXPECT_EQ(Tables::word(b, cursor), 0u);          // no row flags
        std::uint32_t gotos = Tables::word(b, cursor + 4), actions = Tables::word(b, cursor + 8);
        std::uint64_t previous = 0;
        for (std::uint32_t i = 0; i < actions; ++i) {
            std::uint32_t action = Tables::word(b, cursor + 12 + 8 * i), token = Tables::word(b, cursor + 16 + 8 * i);
            if (i) {
                EXPECT_GT(token, previous);
            }
            previous = token;
            if (action & kActionShift) {
                EXPECT_LT(action & kActionValueMask, states);
            }
            if (action & kActionReduce) {
                EXPECT_LT(action & kActionValueMask, productions);
            }
            EXPECT_NE(action & (kActionShift | kActionReduce | kActionAccept), 0u);
        }
        for (std::uint32_t i = 0; i < gotos; ++i) {
            std::size_t e = cursor + 12 + 8 * actions + 8 * i;
            EXPECT_LT(Tables::word(b, e), states);
            EXPECT_GE(Tables::word(b, e + 4), kFirstNonTerminal);
        }
        cursor += 12 + 8 * (actions + gotos);
    }
    EXPECT_EQ(cursor, b.size());
}

TEST(GrammarTables, LayoutInvariants) {
    const std::set<std::uint32_t> templateFlags{0, 0x10, 0x18, 0x30, 0x38, 0x50, 0x58, 0x70, 0x78};
    checkLexLayout(tg::kTemplateLexTable, 26, templateFlags);
    std::set<std::uint32_t> expressionFlags = templateFlags;
    expressionFlags.insert(0x90);  // multi-word operators give back the character behind them
    checkLexLayout(tg::kExpressionLexTable, 3, expressionFlags);
    checkYaccLayout(tg::kTemplateParseTable, 259, 380);
    checkYaccLayout(tg::kExpressionParseTable, 93, 144);
}

}  // namespace
