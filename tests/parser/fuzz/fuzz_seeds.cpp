#include "tests/parser/fuzz/fuzz_seeds.h"

#include "engine/parser/table_layout.h"
#include "tests/parser/table_builder.h"

using namespace ss_layout;
using namespace table_builder;

namespace parser_fuzz {

const char kSampleText[] = "1 + 22 <x!y> a x b # skipped # + 3\n\r\n4 + + a x c";

const std::vector<unsigned char>& LexSeed() {
    static const std::vector<unsigned char> seed = [] {
        LexList l0 = ListWithStartAndSpaces();
        l0.on(0, '\n', '\n', 2);
        l0.on(0, '\r', '\r', 2);
        std::uint32_t number = l0.add(1, kLexAccepting);
        l0.on(0, '0', '9', number);
        l0.on(number, '0', '9', number);
        l0.literal(0, "+", 2);
        l0.literal(0, "a", 3);
        l0.literal(0, "x", 4);
        l0.literal(0, "b", 5);
        l0.literal(0, "c", 6);
        l0.literal(0, "<", 7, kLexAccepting | kLexPush, 1);
        l0.literal(0, "#", 8, kLexAccepting | kLexPush | kLexDiscard, 2);
        LexList l1;
        std::uint32_t s1 = l1.add();
        l1.literal(s1, ">", 9, kLexAccepting | kLexPop);
        l1.literal(s1, "x", 10, kLexAccepting | kLexGiveBackLast);
        l1.literal(s1, "!", 11, kLexAccepting | kLexSwitch, 1);
        l1.literal(s1, "y", 12, kLexAccepting | kLexLeadingLineBreak);
        LexList l2;
        std::uint32_t s2 = l2.add();
        std::uint32_t other = l2.add(13, kLexAccepting | kLexDiscard);
        l2.on(s2, 0, '#' - 1, other);
        l2.on(s2, '#' + 1, 255, other);
        l2.literal(s2, "#", 14, kLexAccepting | kLexPop | kLexDiscard);
        return LexTable({l0, l1, l2});
    }();
    return seed;
}

const std::vector<unsigned char>& YaccSeed() {
    static const std::vector<unsigned char> seed = [] {
        constexpr std::uint32_t eof = kEndOfInputToken;
        YaccTableDesc desc;
        // 0: start -> E eof; 1: E -> E + number; 2: E -> number; 3: E -> %error; 4: E -> A x b
        // 5: E -> B x c; 6: A -> a; 7: B -> a
        desc.productions = {{2, 0},      {3, 0x4001}, {1, 0x4001}, {1, 0x4001},
                            {3, 0x4001}, {3, 0x4001}, {1, 0x4002}, {1, 0x4003}};
        YaccRow r[14];
        r[0].actions = {{Shift(2), 1}, {Shift(6), 3}};
        r[0].gotos = {{1, 0x4001}, {7, 0x4002}, {8, 0x4003}};
        r[0].errorState = 5;
        r[0].flags = kRowRecoverMarked;
        r[1].actions = {{Shift(3), 2}, {Accept(), eof}};
        r[1].flags = kRowRecoverAll;
        r[2].actions = {{Reduce(2), 2}, {Reduce(2), eof}};
        r[3].actions = {{Shift(4), 1}};
        r[4].actions = {{Reduce(1), 2}, {Reduce(1), eof}};
        r[5].actions = {{Reduce(3), 2}, {Reduce(3), eof}};
        r[6].actions = {{Look(0), 4}};
        r[7].actions = {{Shift(9), 4}};
        r[8].actions = {{Shift(10), 4}};
        r[9].actions = {{Shift(11), 5}};
        r[10].actions = {{Shift(12), 6}};
        r[11].actions = {{Reduce(4), 2}, {Reduce(4), eof}};
        r[12].actions = {{Reduce(5), 2}, {Reduce(5), eof}};
        r[13].flags = kRowEmpty;
        desc.rows.assign(std::begin(r), std::end(r));
        LexList automaton;
        std::uint32_t start = automaton.add();
        std::uint32_t afterX = automaton.add();
        automaton.on(start, 4, 4, afterX);
        automaton.on(afterX, 5, 5, automaton.add(6, kLexAccepting | kLexReduce));
        automaton.on(afterX, 6, 6, automaton.add(7, kLexAccepting | kLexReduce));
        desc.automata = {automaton};
        return YaccTable(desc);
    }();
    return seed;
}

}  // namespace parser_fuzz
