#pragma once
// Binary layout of the LEX (scanner) and YACC (parser) tables.
//
// Both tables are arrays of little-endian 32-bit words; every offset below is in bytes and
// must be a multiple of 4. The loaders copy a table into their own memory, check every
// count, offset and row against the table's size and refuse a damaged table with an
// SSException; they never store addresses in table words. A generator that writes these
// tables and the loaders in this folder agree through the constants here.

#include <cstdint>

namespace ss_layout {

// ---------------------------------------------------------------------------------------
// LEX table
//
//   file header, 9 words:
//     [0] number of expression lists (start conditions)
//     [1] kLexMagic, or 0
//     [2]..[8] 0
//   then the expression-list blocks, one after the other, each exactly its word [1] bytes.
//
//   block header, 22 words (88 bytes); the block size includes it:
//     [0]  kLexMagic, or 1
//     [1]  size of the block in bytes
//     [2]..[9] 0
//     [10] number of states S (state 0 is the list's start state; S >= 1)
//     [11] size of the block again
//     [12] offset, from the block start, of the row-offset array (S words)
//     [13] offset, from the block start, of the accept records (88: right behind the header)
//     [14]..[21] 0
//   accept records, one per state, 7 words each:
//     {token number, expression-list index (push and switch), flags, 0, 0, 0, 0}
//     a state that accepts nothing has {0, 0, 0, ...}.
//   row-offset array: one word per state, the offset from the block start of its row.
//   row: a count n, then n transitions {low, high, next}:
//     sorted by low, not overlapping; low and high inclusive and compared unsigned;
//     next is a state index below S, or kNoTransition.
//
//   Natural order inside a block: header, accept records (88), row-offset array
//   (88 + 28 * S), rows.
//
//   Characters are byte values 0..255 (16-bit units for a 16-bit source) and the
//   start-of-input value kStartOfInput, which the first read of every source delivers.
//   Every start state needs a transition on it (usually to a state flagged
//   kAccepting | kDiscard), and a negated character class must not include it.
// ---------------------------------------------------------------------------------------
inline constexpr std::uint32_t kLexMagic = 0x53534C58;  // bytes "XLSS"
inline constexpr std::uint32_t kLexBlockMagicAlt = 1;
inline constexpr std::uint32_t kLexFileHeaderWords = 9;
inline constexpr std::uint32_t kLexFileHeaderBytes = kLexFileHeaderWords * 4;
inline constexpr std::uint32_t kLexBlockHeaderWords = 22;
inline constexpr std::uint32_t kLexBlockHeaderBytes = kLexBlockHeaderWords * 4;  // 88
inline constexpr std::uint32_t kLexAcceptRecordWords = 7;
inline constexpr std::uint32_t kLexAcceptRecordBytes = kLexAcceptRecordWords * 4;  // 28
inline constexpr std::uint32_t kLexTransitionWords = 3;

// Word indexes in the file header.
inline constexpr std::uint32_t kLexFileListCount = 0;
inline constexpr std::uint32_t kLexFileMagic = 1;

// Word indexes in a block header.
inline constexpr std::uint32_t kLexBlockMagic = 0;
inline constexpr std::uint32_t kLexBlockSize = 1;
inline constexpr std::uint32_t kLexBlockStateCount = 10;
inline constexpr std::uint32_t kLexBlockSizeAgain = 11;
inline constexpr std::uint32_t kLexBlockRowOffsets = 12;
inline constexpr std::uint32_t kLexBlockAcceptRecords = 13;

// Word indexes in an accept record.
inline constexpr std::uint32_t kLexRecordToken = 0;
inline constexpr std::uint32_t kLexRecordList = 1;
inline constexpr std::uint32_t kLexRecordFlags = 2;

// Accept-record flags.
inline constexpr std::uint32_t kLexIgnored = 0x01;           // no meaning to the scanner
inline constexpr std::uint32_t kLexLeadingLineBreak = 0x02;  // first char is a line break not in the lexeme
inline constexpr std::uint32_t kLexPop = 0x08;               // return to the list below
inline constexpr std::uint32_t kLexAccepting = 0x10;
inline constexpr std::uint32_t kLexPush = 0x20;                  // make the record's list current
inline constexpr std::uint32_t kLexSwitch = kLexPop | kLexPush;  // pop, then push
inline constexpr std::uint32_t kLexDiscard = 0x40;               // consume the match, no lexeme
inline constexpr std::uint32_t kLexGiveBackLast = 0x80;          // the last character is read again
// Lookahead automata of a YACC table only: word 0 of the record is a production to reduce
// (otherwise a state to shift into).
inline constexpr std::uint32_t kLexReduce = 0x100;

inline constexpr std::uint32_t kNoTransition = 0xFFFFFFFF;
inline constexpr std::uint32_t kStartOfInput = 0xFFFFFFFF;

// ---------------------------------------------------------------------------------------
// YACC table (offsets count from the table start)
//
//   [0] kYaccMagic or 1 (rows at their stored offsets), or 0 (rows packed in order)
//   [1] low 16 bits: number of productions P; high 16 bits: number of lookahead automata
//   [2] number of states S
//   [3] offset of the first row
//   [4] offset of the production records (20 + 4 * S)
//   [5] .. [5 + S - 1] offset of each state's row (ignored when [0] is 0)
//   production records, P x 8 bytes: {right-hand side length, left-hand symbol}
//     production 0 is {2, 0}: the start symbol followed by end of input.
//     non-terminals are numbered from kFirstNonTerminal.
//   rows, contiguous and in state order starting at [3] (also with stored offsets: the
//   lookahead automata are found behind the last row by walking the rows):
//     {flags, goto count G, action count A}
//     A action entries {action word, token}          <- actions come first
//     G goto entries   {target state, left-hand symbol}
//     with flag kRowErrorEntry one more entry {state entered after "%error", 0}
//     a row with kRowEmpty is 12 bytes whatever its counts say.
//   lookahead automata behind the last row: LEX blocks (see above) whose transitions read
//   token numbers; an accept record's word 0 is a state to shift into or, with kLexReduce,
//   a production to reduce; kLexAccepting marks acceptance.
//
//   Natural layout: [3] = 20 + 4 * S + 8 * P, rows packed from there.
// ---------------------------------------------------------------------------------------
inline constexpr std::uint32_t kYaccMagic = 0x53535943;  // bytes "CYSS"
inline constexpr std::uint32_t kYaccMagicAlt = 1;
inline constexpr std::uint32_t kYaccPacked = 0;
inline constexpr std::uint32_t kYaccHeaderWords = 5;
inline constexpr std::uint32_t kYaccHeaderBytes = kYaccHeaderWords * 4;  // 20

// Word indexes in the header.
inline constexpr std::uint32_t kYaccMagicWord = 0;
inline constexpr std::uint32_t kYaccCounts = 1;
inline constexpr std::uint32_t kYaccStateCount = 2;
inline constexpr std::uint32_t kYaccFirstRow = 3;
inline constexpr std::uint32_t kYaccProductions = 4;
inline constexpr std::uint32_t kYaccRowOffsets = 5;

inline constexpr std::uint32_t kYaccProductionBytes = 8;
inline constexpr std::uint32_t kYaccRowHeaderBytes = 12;
inline constexpr std::uint32_t kYaccEntryBytes = 8;

// Row flags.
inline constexpr std::uint32_t kRowRecoverMarked = 0x01;  // entries with kActionRecover may resume
inline constexpr std::uint32_t kRowErrorEntry = 0x02;
inline constexpr std::uint32_t kRowRecoverAll = 0x04;  // every action token may resume
inline constexpr std::uint32_t kRowEmpty = 0x08;

// Action word; the kind bits are tested in the order shift, reduce, accept, lookahead.
inline constexpr std::uint32_t kActionRecover = 0x80000000;
inline constexpr std::uint32_t kActionShift = 0x40000000;
inline constexpr std::uint32_t kActionReduce = 0x20000000;
inline constexpr std::uint32_t kActionAccept = 0x10000000;
inline constexpr std::uint32_t kActionLookahead = 0x08000000;
inline constexpr std::uint32_t kActionValueMask = 0x07FFFFFF;  // state, production or automaton

inline constexpr std::uint32_t kFirstNonTerminal = 0x4001;
inline constexpr std::uint32_t kEndOfInputToken = 0xFFFFFFFF;
inline constexpr std::uint32_t kErrorToken = 0xFFFFFFFE;  // "%error"

}  // namespace ss_layout
