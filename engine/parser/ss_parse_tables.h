#pragma once
// One LALR parse table: productions, state rows of actions and gotos, and the lookahead
// automata that settle conflicts by reading further tokens.
//
// The table is copied into own memory and checked whole at load time: every row, entry
// and target must lie inside the table; a damaged table is refused with code 22. Row
// positions are kept in a side array, never written into table words. A loaded table is
// read-only and may be shared by parsers on several threads.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_lex_tables.h"
#include "engine/parser/ss_table_serial.h"
#include "engine/parser/table_layout.h"

struct SSParseEntry {
    std::uint32_t value = 0;   // action word, goto target or error-entry state
    std::uint32_t symbol = 0;  // token or left-hand symbol
};

struct SSProduction {
    std::uint32_t rhsLength = 0;
    std::uint32_t lhs = 0;
};

class SSParseTables {
public:
    // From the resource `name` of `type` ("YACC"): code 37 when it is not registered.
    SSParseTables(const void* module, const char* name, const char* type = "YACC");
    // From a file read whole: code 12 when it does not open, 22 when it cannot be read.
    explicit SSParseTables(const char* fileName);
    // From table bytes in memory (copied); `name` names the table in messages.
    SSParseTables(const void* bytes, std::size_t size, const char* name);

    bool valid() const { return valid_; }
    const std::string& name() const { return name_; }
    // Tells this table from every other of the process (SSNextTableSerial).
    std::uint64_t serial() const { return serial_; }

    std::uint32_t stateCount() const { return stateCount_; }
    std::uint32_t productionCount() const { return productionCount_; }
    std::uint32_t automatonCount() const { return static_cast<std::uint32_t>(automata_.size()); }

    // Out-of-range arguments give empty results.
    SSProduction production(std::uint32_t index) const;
    std::uint32_t rowFlags(std::uint32_t state) const;
    std::uint32_t actionCount(std::uint32_t state) const;
    std::uint32_t gotoCount(std::uint32_t state) const;
    SSParseEntry action(std::uint32_t state, std::uint32_t index) const;
    SSParseEntry gotoEntry(std::uint32_t state, std::uint32_t index) const;
    // The first action of the state for the token, as a scan of the row from the start
    // would find it; false when the row has none. Constant time for the grammar's own
    // terminals and the end of input (an index built at load time).
    bool findAction(std::uint32_t state, std::uint32_t token, SSParseEntry& entry) const;
    // The first goto of the state for a left-hand symbol; false when the row has none.
    bool findGoto(std::uint32_t state, std::uint32_t lhs, std::uint32_t& target) const;
    // The state entered after "%error"; false when the row has no error entry.
    bool errorState(std::uint32_t state, std::uint32_t& target) const;
    // Byte offset of a state's row in the table (for tests and diagnostics).
    std::uint32_t rowOffset(std::uint32_t state) const;
    // Null when out of range.
    const SSLexExpressionList* automaton(std::uint32_t index) const;

    SSErrorSlot& pendingError() { return error_; }

private:
    struct Row {
        std::uint32_t start = 0;  // word index of the row header
        std::uint32_t actions = 0;
        std::uint32_t gotos = 0;
        bool hasError = false;
    };
    void load(const void* bytes, std::size_t size);
    void buildIndexes();
    // Column of a symbol in an index, or kNoColumn when it has none.
    static constexpr std::uint32_t kNoColumn = 0xFFFFFFFF;
    std::uint32_t actionColumn(std::uint32_t token) const;
    std::uint32_t gotoColumn(std::uint32_t lhs) const;
    bool layOut(std::size_t& automataOffset);
    bool checkEntries() const;
    void refuse(std::uint32_t code);

    std::string name_;
    std::vector<std::uint32_t> words_;
    std::vector<Row> rows_;
    std::uint32_t stateCount_ = 0;
    std::uint32_t productionCount_ = 0;
    std::uint32_t productionStart_ = 0;  // word index
    std::vector<std::unique_ptr<SSLexExpressionList>> automata_;
    // Per state and symbol, 1 + the position of the first entry in the row (0: none). The
    // terminals below actionColumns_ - 2 have a column each, then the end of input and
    // "%error"; the left-hand symbols from kFirstNonTerminal have gotoColumns_ columns.
    std::vector<std::uint32_t> actionIndex_;
    std::vector<std::uint32_t> gotoIndex_;
    std::uint32_t actionColumns_ = 0;
    std::uint32_t gotoColumns_ = 0;
    bool valid_ = false;
    std::uint64_t serial_ = SSNextTableSerial();
    SSErrorSlot error_;
};
