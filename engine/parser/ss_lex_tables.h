#pragma once
// Scanner tables: one deterministic automaton per expression list (start condition).
//
// Loaded tables are read-only and may be shared by lexers on several threads. Every
// offset, count and row is checked against the table's size at load time; a damaged
// table is refused with code 4 and never read outside its bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_table_serial.h"
#include "engine/parser/table_layout.h"

// The accept record of one state.
struct SSLexRecord {
    std::uint32_t token = 0;
    std::uint32_t list = 0;  // expression list for push and switch (a state or production in a lookahead automaton)
    std::uint32_t flags = 0;
};

class SSLexExpressionList {
public:
    // One block read from `bytes` (at most `available` bytes). A damaged block raises
    // code 4 with `name`; valid() is then false.
    SSLexExpressionList(const void* bytes, std::size_t available, const char* name);

    bool valid() const { return valid_; }
    // Bytes the block takes in its table (its header word [1]).
    std::size_t blockSize() const { return words_.size() * 4; }
    std::uint32_t stateCount() const { return stateCount_; }
    // The record of a state; a state out of range has an empty record. (Both run for every
    // character scanned: defined here so that the scanner's loop has them inline.)
    SSLexRecord record(std::uint32_t state) const {
        return state < records_.size() ? records_[state] : SSLexRecord{};
    }
    // The state after `character`, or ss_layout::kNoTransition.
    std::uint32_t next(std::uint32_t state, std::uint32_t character) const {
        if (state >= stateCount_) return ss_layout::kNoTransition;
        if (!byteNext_.empty() && (character < 256 || character == ss_layout::kStartOfInput)) {
            const std::uint16_t to =
                byteNext_[static_cast<std::size_t>(state) * kIndexColumns + (character < 256 ? character : 256)];
            return to == kNoState ? ss_layout::kNoTransition : to;
        }
        return scanRow(state, character);
    }

    SSErrorSlot& pendingError() { return error_; }

private:
    bool load(const void* bytes, std::size_t available);
    std::uint32_t scanRow(std::uint32_t state, std::uint32_t character) const;
    void buildIndex();

    // The scanner reads a character at a time: for byte values and the start-of-input value
    // every state's next state is looked up in one step (kNoState: none), built at load time
    // from the rows (for lists of up to a few thousand states).
    static constexpr std::uint16_t kNoState = 0xFFFF;
    static constexpr std::uint32_t kIndexColumns = 257;
    std::vector<std::uint16_t> byteNext_;
    std::vector<SSLexRecord> records_;
    std::vector<std::uint32_t> words_;
    std::vector<std::uint32_t> rowStart_;  // word index of each state's row
    std::uint32_t recordStart_ = 0;        // word index of the accept records
    std::uint32_t stateCount_ = 0;
    bool valid_ = false;
    SSErrorSlot error_;
};

class SSLexStateTables {
public:
    // From the resource `name` of `type` ("LEX"): code 36 when it is not registered,
    // code 4 when it is damaged.
    SSLexStateTables(const void* module, const char* name, const char* type = "LEX");
    // From table bytes in memory (copied); `name` names the table in messages.
    SSLexStateTables(const void* bytes, std::size_t size, const char* name);

    bool valid() const { return valid_; }
    const std::string& name() const { return name_; }
    // Tells this table from every other of the process (SSNextTableSerial).
    std::uint64_t serial() const { return serial_; }
    std::uint32_t listCount() const { return static_cast<std::uint32_t>(lists_.size()); }
    // Null when out of range.
    const SSLexExpressionList* list(std::uint32_t index) const;
    // Raises code 6 with the index when out of range.
    const SSLexExpressionList* expressionList(std::uint32_t index);
    // The 9-word file header as loaded.
    const std::vector<std::uint32_t>& header() const { return header_; }

    SSErrorSlot& pendingError() { return error_; }

private:
    void load(const void* bytes, std::size_t size);

    std::string name_;
    std::vector<std::uint32_t> header_;
    std::vector<std::unique_ptr<SSLexExpressionList>> lists_;
    bool valid_ = false;
    std::uint64_t serial_ = SSNextTableSerial();
    SSErrorSlot error_;
};
