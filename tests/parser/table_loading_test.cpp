#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/parser/ss_lex_tables.h"
#include "engine/parser/ss_parse_tables.h"
#include "engine/parser/table_layout.h"
#include "platform/resources.h"
#include "tests/parser/table_builder.h"
#include "tests/common/temp_home.h"

using namespace ss_layout;
using namespace table_builder;

namespace {

std::uint32_t codeOf(const std::function<void()>& load) {
    try {
        load();
    } catch (const SSException& e) {
        return e.code;
    }
    return 0;
}

std::vector<unsigned char> TwoListTable() {
    LexList a = ListWithStartAndSpaces();
    a.literal(0, "if", 5);
    LexList b;
    b.literal(b.add(), "x", 6);
    return LexTable({a, b});
}

// Word index of list 0's block header in TwoListTable().
constexpr std::size_t kBlock = kLexFileHeaderWords;

TEST(LexTablesTest, LoadsListsAndTransitions) {
    std::vector<unsigned char> bytes = TwoListTable();
    SSLexStateTables tables(bytes.data(), bytes.size(), "T");
    ASSERT_TRUE(tables.valid());
    EXPECT_EQ(tables.listCount(), 2u);
    const SSLexExpressionList* list = tables.list(0);
    std::uint32_t i = list->next(0, 'i');
    ASSERT_NE(i, kNoTransition);
    std::uint32_t f = list->next(i, 'f');
    EXPECT_EQ(list->record(f).token, 5u);
    EXPECT_EQ(list->record(f).flags, kLexAccepting);
    EXPECT_EQ(list->next(0, 'q'), kNoTransition);
    EXPECT_EQ(list->next(0, kStartOfInput), 1u);  // compared unsigned
    EXPECT_EQ(tables.list(2), nullptr);
}

TEST(LexTablesTest, DamagedTablesAreRefusedWithCode4) {
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint32_t>&)> damage;
    };
    const Case cases[] = {
        {"file magic", [](auto& w) { w[kLexFileMagic] = 0x12345678; }},
        {"more lists than blocks", [](auto& w) { w[kLexFileListCount] = 3; }},
        {"a huge list count", [](auto& w) { w[kLexFileListCount] = 0xFFFFFFFF; }},
        {"block magic", [](auto& w) { w[kBlock + kLexBlockMagic] = 7; }},
        {"block larger than the table", [](auto& w) { w[kBlock + kLexBlockSize] = 0x7FFFFFF0; }},
        {"block smaller than its header", [](auto& w) { w[kBlock + kLexBlockSize] = 40; }},
        {"block size not whole words", [](auto& w) { w[kBlock + kLexBlockSize] -= 2; }},
        {"more states than the block holds", [](auto& w) { w[kBlock + kLexBlockStateCount] = 1000000; }},
        {"no states", [](auto& w) { w[kBlock + kLexBlockStateCount] = 0; }},
        {"row-offset array outside", [](auto& w) { w[kBlock + kLexBlockRowOffsets] = 0xFFFFFFF0; }},
        {"records outside", [](auto& w) { w[kBlock + kLexBlockAcceptRecords] = 0x7FFFFFFC; }},
        {"row outside",
         [&](auto& w) {
             std::uint32_t rows = w[kBlock + kLexBlockRowOffsets] / 4;
             w[kBlock + rows] = 0x10000000;
         }},
        {"misaligned row",
         [&](auto& w) {
             std::uint32_t rows = w[kBlock + kLexBlockRowOffsets] / 4;
             w[kBlock + rows] += 2;
         }},
        {"transition count beyond the block",
         [&](auto& w) {
             std::uint32_t rows = w[kBlock + kLexBlockRowOffsets] / 4;
             w[kBlock + w[kBlock + rows] / 4] = 0x40000000;
         }},
        {"transition to a missing state",
         [&](auto& w) {
             std::uint32_t rows = w[kBlock + kLexBlockRowOffsets] / 4;
             w[kBlock + w[kBlock + rows] / 4 + 3] = 99;
         }},
    };
    for (const Case& c : cases) {
        std::vector<std::uint32_t> words = Words(TwoListTable());
        c.damage(words);
        std::vector<unsigned char> bytes = Bytes(words);
        // Exact-size heap copy: ASan sees any read past the end.
        std::vector<unsigned char> exact(bytes.begin(), bytes.end());
        std::uint32_t code = codeOf([&] { SSLexStateTables t(exact.data(), exact.size(), "IDR_LEX_T"); });
        EXPECT_EQ(code, 4u) << c.what;
    }
}

TEST(LexTablesTest, TruncatedTablesAreRefused) {
    std::vector<unsigned char> bytes = TwoListTable();
    for (std::size_t size = 0; size < bytes.size(); size += 3) {
        std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + size);
        EXPECT_EQ(codeOf([&] { SSLexStateTables t(cut.data(), cut.size(), "CUT"); }), 4u) << size;
    }
}

TEST(LexTablesTest, RefusalWithoutThrowLeavesAnEmptyTable) {
    SSOptions().throwOnError = 0;
    std::vector<std::uint32_t> words = Words(TwoListTable());
    words[kLexFileMagic] = 3;
    std::vector<unsigned char> bytes = Bytes(words);
    SSLexStateTables tables(bytes.data(), bytes.size(), "IDR_LEX_BAD");
    SSOptions().throwOnError = 1;
    EXPECT_FALSE(tables.valid());
    EXPECT_EQ(tables.listCount(), 0u);
    ASSERT_TRUE(tables.pendingError().pending());
    EXPECT_STREQ(tables.pendingError().get()->text, "SSLex0104e: Invalid table, IDR_LEX_BAD");
}

class ResourceTest : public ::testing::Test {
protected:
    ~ResourceTest() override {
        tessaro::resources::UnregisterResource("LEX", "IDR_LEX_TEST");
        tessaro::resources::UnregisterResource("YACC", "IDR_YACC_TEST");
    }
};

TEST_F(ResourceTest, RegistryFindsByTypeAndNameIgnoringCase) {
    static const unsigned char blob[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(tessaro::resources::RegisterResource("LEX", "IDR_LEX_TEST", blob, sizeof blob));
    HRSRC found = FindResourceA(nullptr, "idr_lex_test", "lex");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, found), 5u);
    EXPECT_EQ(LockResource(LoadResource(nullptr, found)), blob);
    EXPECT_EQ(FindResourceA(nullptr, "IDR_LEX_TEST", "YACC"), nullptr);
    EXPECT_EQ(FreeResource(LoadResource(nullptr, found)), 0);
    EXPECT_FALSE(tessaro::resources::RegisterResource("LEX", nullptr, blob, 1));
    EXPECT_TRUE(tessaro::resources::UnregisterResource("LEX", "IDR_LEX_TEST"));
    EXPECT_EQ(FindResourceA(nullptr, "IDR_LEX_TEST", "LEX"), nullptr);
}

TEST_F(ResourceTest, LexTablesLoadFromAResource) {
    static const std::vector<unsigned char> bytes = TwoListTable();
    tessaro::resources::RegisterResource("LEX", "IDR_LEX_TEST", bytes.data(), bytes.size());
    SSLexStateTables tables(nullptr, "IDR_LEX_TEST", "LEX");
    EXPECT_TRUE(tables.valid());
    EXPECT_EQ(tables.listCount(), 2u);
    try {
        SSLexStateTables missing(nullptr, "IDR_LEX_NONE", "LEX");
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 36u);
        EXPECT_STREQ(e.text, "SSLex0108e: Resource not found, IDR_LEX_NONE");
    }
}

// Three states whose rows take 12, 28 and 44 bytes, and a 12-byte empty row that claims
// entries.
YaccTableDesc ThreeRowTable() {
    YaccTableDesc desc;
    desc.productions = {{2, 0}, {1, 0x4001}};
    YaccRow empty;
    YaccRow one;
    one.actions = {{Shift(2), 1}};
    one.gotos = {{1, 0x4001}};
    YaccRow two;
    two.actions = {{Reduce(1), 1}, {Accept(), 0xFFFFFFFF}};
    two.gotos = {{0, 0x4001}};
    two.errorState = 1;
    YaccRow claims;
    claims.flags = kRowEmpty;
    claims.actions = {{Shift(0), 1}};
    desc.rows = {empty, one, two, claims};
    return desc;
}

TEST(ParseTablesTest, PackedRowsFollowEachOther) {
    YaccTableDesc desc = ThreeRowTable();
    desc.magic = kYaccPacked;
    std::vector<std::uint32_t> words = YaccWords(desc);
    // Packed rows ignore the stored offsets.
    for (std::uint32_t s = 0; s < 4; ++s) words[kYaccRowOffsets + s] = 0xDEADBEEF;
    std::vector<unsigned char> bytes = Bytes(words);
    SSParseTables table(bytes.data(), bytes.size(), "PACKED");
    ASSERT_TRUE(table.valid());
    const std::uint32_t first = words[kYaccFirstRow];
    EXPECT_EQ(table.rowOffset(0), first);
    EXPECT_EQ(table.rowOffset(1), first + 12);
    EXPECT_EQ(table.rowOffset(2), first + 40);
    EXPECT_EQ(table.rowOffset(3), first + 84);
    EXPECT_EQ(table.actionCount(3), 0u);  // flag 0x08: no entries whatever the counts say
    EXPECT_EQ(table.action(2, 1).value, Accept());
    EXPECT_EQ(table.gotoEntry(1, 0).symbol, 0x4001u);
    std::uint32_t target = 0;
    EXPECT_TRUE(table.errorState(2, target));
    EXPECT_EQ(target, 1u);
    EXPECT_FALSE(table.errorState(1, target));
    EXPECT_EQ(table.production(1).rhsLength, 1u);
    EXPECT_EQ(table.production(1).lhs, 0x4001u);
}

TEST(ParseTablesTest, DamagedTablesAreRefused) {
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint32_t>&)> damage;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"magic", [](auto& w) { w[kYaccMagicWord] = 0x12345678; }, 22},
        {"more states than the table holds", [](auto& w) { w[kYaccStateCount] = 100000; }, 22},
        {"a size over 32 bits", [](auto& w) { w[kYaccStateCount] = 0x7FFFFFFF; }, 26},
        {"productions outside", [](auto& w) { w[kYaccCounts] = 0xFFFF; }, 22},
        {"production offset outside", [](auto& w) { w[kYaccProductions] = 0xFFFFFFF8; }, 22},
        {"row offset outside", [](auto& w) { w[kYaccRowOffsets + 1] = 0x7FFFFFF0; }, 22},
        {"first row outside",
         [](auto& w) {
             w[kYaccMagicWord] = kYaccPacked;
             w[kYaccFirstRow] = 0xFFFFFFF0;
         },
         22},
        {"action count beyond the table", [](auto& w) { w[w[kYaccRowOffsets + 1] / 4 + 2] = 0x20000000; }, 22},
        {"shift to a missing state", [](auto& w) { w[w[kYaccRowOffsets + 1] / 4 + 3] = Shift(9); }, 22},
        {"reduce of a missing production", [](auto& w) { w[w[kYaccRowOffsets + 2] / 4 + 3] = Reduce(9); }, 22},
        {"missing automaton", [](auto& w) { w[w[kYaccRowOffsets + 2] / 4 + 3] = Look(0); }, 22},
        {"goto to a missing state", [](auto& w) { w[w[kYaccRowOffsets + 1] / 4 + 5] = 77; }, 22},
        {"automata promised but absent", [](auto& w) { w[kYaccCounts] |= 2u << 16; }, 4},
        {"no rows and automata far outside",
         [](auto& w) {
             w[kYaccStateCount] = 0;
             w[kYaccCounts] |= 1u << 16;
             w[kYaccFirstRow] = 0xFFFFFFF0;
         },
         22},
    };
    for (const Case& c : cases) {
        std::vector<std::uint32_t> words = YaccWords(ThreeRowTable());
        c.damage(words);
        std::vector<unsigned char> bytes = Bytes(words);
        std::uint32_t code = codeOf([&] { SSParseTables t(bytes.data(), bytes.size(), "IDR_YACC_T"); });
        EXPECT_EQ(code, c.code) << c.what;
    }
}

TEST(ParseTablesTest, RefusalTextsNameTheTable) {
    std::vector<std::uint32_t> words = YaccWords(ThreeRowTable());
    words[kYaccMagicWord] = 0x12345678;
    std::vector<unsigned char> bytes = Bytes(words);
    try {
        SSParseTables t(bytes.data(), bytes.size(), "IDR_YACC_T");
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_STREQ(e.text, "SSYacc0111e: Error reading table, IDR_YACC_T");
    }
    words[kYaccMagicWord] = kYaccMagic;
    words[kYaccStateCount] = 0x7FFFFFFF;
    bytes = Bytes(words);
    try {
        SSParseTables t(bytes.data(), bytes.size(), "IDR_YACC_T");
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_STREQ(e.text, "SSYacc0112e: Table too big");
    }
}

TEST(ParseTablesTest, TruncatedTablesAreRefused) {
    std::vector<unsigned char> bytes = YaccTable(ThreeRowTable());
    for (std::size_t size = 0; size < bytes.size(); size += 4) {
        std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + size);
        EXPECT_NE(codeOf([&] { SSParseTables t(cut.data(), cut.size(), "CUT"); }), 0u) << size;
    }
}

TEST(ParseTablesTest, LoadsFromAFile) {
    tessaro::test::TempFolder dir;
    std::vector<unsigned char> bytes = YaccTable(ThreeRowTable());
    std::string file = dir.write("t.yacc", std::string(bytes.begin(), bytes.end()));
    SSParseTables table(file.c_str());
    EXPECT_TRUE(table.valid());
    EXPECT_EQ(table.stateCount(), 4u);

    std::string missing = dir.path() + "/none.yacc";
    try {
        SSParseTables absent(missing.c_str());
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 12u);
        EXPECT_EQ(std::string(e.text), "SSYacc0101e: Open file failed, " + missing);
    }
    std::string empty = dir.write("empty.yacc", "");
    EXPECT_EQ(codeOf([&] { SSParseTables t(empty.c_str()); }), 22u);
}

TEST_F(ResourceTest, ParseTablesLoadFromAResource) {
    static const std::vector<unsigned char> bytes = YaccTable(ThreeRowTable());
    tessaro::resources::RegisterResource("YACC", "IDR_YACC_TEST", bytes.data(), bytes.size());
    SSParseTables table(nullptr, "IDR_YACC_TEST", "YACC");
    EXPECT_TRUE(table.valid());
    try {
        SSParseTables missing(nullptr, "IDR_YACC_NONE", "YACC");
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 37u);
        EXPECT_STREQ(e.text, "SSYacc0114e: Resource not found, IDR_YACC_NONE");
    }
}

}  // namespace
