// The look-up indexes the table loaders build: every answer must be the one a scan of the
// table's rows gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "engine/grammar/grammar_tables.h"
#include "engine/parser/ss_lex_tables.h"
#include "engine/parser/ss_parse_tables.h"
#include "tests/parser/table_builder.h"

using namespace ss_layout;
using namespace table_builder;

namespace {

// The first entry of the row for the symbol, by a scan from the start.
bool ScanActions(const SSParseTables& table, std::uint32_t state, std::uint32_t token, SSParseEntry& found) {
    for (std::uint32_t i = 0; i < table.actionCount(state); ++i) {
        if (table.action(state, i).symbol == token) {
            found = table.action(state, i);
            return true;
        }
    }
    return false;
}

bool ScanGotos(const SSParseTables& table, std::uint32_t state, std::uint32_t lhs, std::uint32_t& target) {
    for (std::uint32_t i = 0; i < table.gotoCount(state); ++i) {
        if (table.gotoEntry(state, i).symbol == lhs) {
            target = table.gotoEntry(state, i).value;
            return true;
        }
    }
    return false;
}

void ExpectIndexMatchesRows(const SSParseTables& table) {
    std::set<std::uint32_t> tokens{kEndOfInputToken, kErrorToken, 0, 1, 0x3FFF, 0x4000, 0x12345};
    std::set<std::uint32_t> symbols{0, kFirstNonTerminal - 1, kFirstNonTerminal + 0x5000};
    for (std::uint32_t s = 0; s < table.stateCount(); ++s) {
        for (std::uint32_t i = 0; i < table.actionCount(s); ++i) tokens.insert(table.action(s, i).symbol);
        for (std::uint32_t i = 0; i < table.gotoCount(s); ++i) symbols.insert(table.gotoEntry(s, i).symbol);
    }
    for (std::uint32_t t = 0; t < 300; ++t) tokens.insert(t);
    for (std::uint32_t s = 0; s <= table.stateCount(); ++s) {
        for (std::uint32_t token : tokens) {
            SSParseEntry indexed, scanned;
            const bool found = table.findAction(s, token, indexed);
            ASSERT_EQ(found, ScanActions(table, s, token, scanned)) << s << " " << token;
            if (found) {
                EXPECT_EQ(indexed.value, scanned.value) << s << " " << token;
            }
        }
        for (std::uint32_t lhs : symbols) {
            std::uint32_t indexed = 0, scanned = 0;
            const bool found = table.findGoto(s, lhs, indexed);
            ASSERT_EQ(found, ScanGotos(table, s, lhs, scanned)) << s << " " << lhs;
            if (found) {
                EXPECT_EQ(indexed, scanned) << s << " " << lhs;
            }
        }
    }
}

TEST(TableIndex, GeneratedParseTablesAnswerAsTheirRows) {
    ASSERT_TRUE(tessaro::grammar::RegisterGrammarTables());
    for (const char* name : {"IDR_YACC_TSPARSER", "IDR_YACC_BOOLPARSER"}) {
        SCOPED_TRACE(name);
        SSParseTables table(nullptr, name, "YACC");
        ASSERT_TRUE(table.valid());
        ExpectIndexMatchesRows(table);
    }
}

TEST(TableIndex, RepeatedAndOutOfRangeSymbolsKeepTheFirstEntry) {
    YaccTableDesc desc;
    desc.productions = {{2, 0}, {1, 0x4001}};
    YaccRow s0, s1;
    // The same token twice: the first entry counts, as for a scan.
    s0.actions = {{Shift(1), 7}, {Reduce(1), 7}, {Accept(), kEndOfInputToken}, {Shift(1), 0x10000}};
    s0.gotos = {{1, 0x4001}, {0, 0x4001}, {1, 0x4001 + 0x4000}};
    desc.rows = {s0, s1};
    std::vector<unsigned char> bytes = YaccTable(desc);
    SSParseTables table(bytes.data(), bytes.size(), "REPEATS");
    ASSERT_TRUE(table.valid());
    SSParseEntry entry;
    ASSERT_TRUE(table.findAction(0, 7, entry));
    EXPECT_EQ(entry.value, Shift(1));
    ASSERT_TRUE(table.findAction(0, 0x10000, entry));  // beyond the index: found by a scan
    EXPECT_FALSE(table.findAction(1, 7, entry));
    EXPECT_FALSE(table.findAction(2, 7, entry));  // no such state
    std::uint32_t target = 0;
    ASSERT_TRUE(table.findGoto(0, 0x4001, target));
    EXPECT_EQ(target, 1u);
    ASSERT_TRUE(table.findGoto(0, 0x4001 + 0x4000, target));
    EXPECT_FALSE(table.findGoto(1, 0x4001, target));
    ExpectIndexMatchesRows(table);
}

TEST(TableIndex, ScannerStepsAnswerAsTheirRanges) {
    LexList list;
    const std::uint32_t start = list.add();
    const std::uint32_t digits = list.add(1, kLexAccepting);
    const std::uint32_t letters = list.add(2, kLexAccepting);
    const std::uint32_t wide = list.add(3, kLexAccepting);
    const std::uint32_t first = list.add(4, kLexAccepting | kLexDiscard);
    list.on(start, '0', '9', digits);
    list.on(start, 'a', 'f', letters);
    list.on(start, 0xF0, 0x1FF, wide);  // across the end of the byte values
    list.on(start, kStartOfInput, kStartOfInput, first);
    list.on(digits, '0', '9', digits);
    std::vector<unsigned char> bytes = LexTable({list});
    SSLexStateTables tables(bytes.data(), bytes.size(), "RANGES");
    ASSERT_TRUE(tables.valid());
    const SSLexExpressionList* l = tables.list(0);
    auto expected = [&](std::uint32_t state, std::uint32_t c) -> std::uint32_t {
        if (state == start) {
            if (c >= '0' && c <= '9') return digits;
            if (c >= 'a' && c <= 'f') return letters;
            if (c >= 0xF0 && c <= 0x1FF) return wide;
            if (c == kStartOfInput) return first;
        }
        if (state == digits && c >= '0' && c <= '9') return digits;
        return kNoTransition;
    };
    for (std::uint32_t state = 0; state <= l->stateCount(); ++state) {
        for (std::uint32_t c = 0; c < 0x300; ++c) EXPECT_EQ(l->next(state, c), expected(state, c)) << state << " " << c;
        EXPECT_EQ(l->next(state, kStartOfInput), expected(state, kStartOfInput)) << state;
        EXPECT_EQ(l->next(state, 0xFFFFFFFE), kNoTransition) << state;
    }
    EXPECT_EQ(l->record(digits).token, 1u);
    EXPECT_EQ(l->record(first).flags, kLexAccepting | kLexDiscard);
    EXPECT_EQ(l->record(l->stateCount()).flags, 0u);
}

}  // namespace
