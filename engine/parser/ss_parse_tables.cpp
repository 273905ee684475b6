#include "engine/parser/ss_parse_tables.h"

#include <cerrno>
#include <cstdio>

#include "engine/parser/table_words.h"
#include "platform/resources.h"

using namespace ss_layout;
using ss_tables::Fits;

SSParseTables::SSParseTables(const void* module, const char* name, const char* type)
    : name_(name == nullptr ? "" : name) {
    HRSRC resource = FindResourceA(module, name_.c_str(), type == nullptr ? "YACC" : type);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = LockResource(loaded);
    if (resource == nullptr || bytes == nullptr) {
        error_.raise(SSErrorYaccResourceNotFound, name_.c_str());
        return;
    }
    std::size_t size = SizeofResource(module, resource);
    FreeResource(loaded);
    load(bytes, size);
}

SSParseTables::SSParseTables(const char* fileName) : name_(fileName == nullptr ? "" : fileName) {
    std::string path = name_;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error_.raise(SSErrorOpenTableFile, name_.c_str());
        return;
    }
    std::vector<unsigned char> bytes;
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    bool ok = length > 0 && static_cast<unsigned long>(length) <= 0xFFFFFFFFUL;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(length));
        ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    std::fclose(file);
    if (!ok) {
        error_.raise(SSErrorReadingTable, name_.c_str());
        return;
    }
    load(bytes.data(), bytes.size());
}

SSParseTables::SSParseTables(const void* bytes, std::size_t size, const char* name)
    : name_(name == nullptr ? "" : name) {
    load(bytes, size);
}

void SSParseTables::refuse(std::uint32_t code) {
    words_.clear();
    rows_.clear();
    automata_.clear();
    actionIndex_.clear();
    gotoIndex_.clear();
    actionColumns_ = gotoColumns_ = 0;
    stateCount_ = productionCount_ = 0;
    if (code == SSErrorTableTooBig) {
        error_.raise(code);
    } else {
        error_.raise(code, name_.c_str());
    }
}

void SSParseTables::load(const void* bytes, std::size_t size) {
    if (bytes == nullptr || size < kYaccHeaderBytes || size > 0xFFFFFFFFULL) {
        refuse(SSErrorReadingTable);
        return;
    }
    words_ = ss_tables::CopyWords(bytes, size);
    const std::uint32_t magic = words_[kYaccMagicWord];
    if (magic != kYaccMagic && magic != kYaccMagicAlt && magic != kYaccPacked) {
        refuse(SSErrorReadingTable);
        return;
    }
    const std::uint64_t states = words_[kYaccStateCount];
    const std::uint64_t productions = words_[kYaccCounts] & 0xFFFF;
    if (4 * states + kYaccHeaderBytes + 8 * productions > 0xFFFFFFFEULL) {
        refuse(SSErrorTableTooBig);
        return;
    }
    const std::uint64_t tableBytes = words_.size() * 4ULL;
    const std::uint32_t productionOffset = words_[kYaccProductions];
    if (!Fits(kYaccHeaderBytes, 4 * states, tableBytes) || productionOffset % 4 != 0 ||
        !Fits(productionOffset, kYaccProductionBytes * productions, tableBytes)) {
        refuse(SSErrorReadingTable);
        return;
    }
    stateCount_ = static_cast<std::uint32_t>(states);
    productionCount_ = static_cast<std::uint32_t>(productions);
    productionStart_ = productionOffset / 4;

    std::size_t automataOffset = 0;
    if (!layOut(automataOffset) || !checkEntries()) {
        refuse(SSErrorReadingTable);
        return;
    }
    const std::uint32_t automata = words_[kYaccCounts] >> 16;
    const auto* base = static_cast<const unsigned char*>(bytes);
    for (std::uint32_t i = 0; i < automata; ++i) {
        std::unique_ptr<SSLexExpressionList> automaton;
        try {
            automaton =
                std::make_unique<SSLexExpressionList>(base + automataOffset, size - automataOffset, name_.c_str());
        } catch (const SSException&) {
            words_.clear();
            rows_.clear();
            automata_.clear();
            throw;
        }
        if (!automaton->valid()) {
            error_.takeOver(automaton->pendingError());
            words_.clear();
            rows_.clear();
            automata_.clear();
            return;
        }
        automataOffset += automaton->blockSize();
        automata_.push_back(std::move(automaton));
    }
    buildIndexes();
    valid_ = true;
}

namespace {

// An index larger than this many cells is not built; look-ups then scan the rows.
constexpr std::uint64_t kMaxIndexCells = std::uint64_t{1} << 22;
// Symbols above this have no column of their own.
constexpr std::uint32_t kMaxIndexedSymbol = 0x4000;

}  // namespace

std::uint32_t SSParseTables::actionColumn(std::uint32_t token) const {
    if (actionColumns_ == 0) return kNoColumn;
    if (token == kEndOfInputToken) return actionColumns_ - 2;
    if (token == kErrorToken) return actionColumns_ - 1;
    return token < actionColumns_ - 2 ? token : kNoColumn;
}

std::uint32_t SSParseTables::gotoColumn(std::uint32_t lhs) const {
    if (lhs < kFirstNonTerminal || lhs - kFirstNonTerminal >= gotoColumns_) return kNoColumn;
    return lhs - kFirstNonTerminal;
}

void SSParseTables::buildIndexes() {
    std::uint32_t largestTerminal = 0, largestLhs = 0;
    bool anyLhs = false;
    for (std::uint32_t s = 0; s < stateCount_; ++s) {
        for (std::uint32_t i = 0; i < rows_[s].actions; ++i) {
            const std::uint32_t token = action(s, i).symbol;
            if (token < kMaxIndexedSymbol && token > largestTerminal) largestTerminal = token;
        }
        for (std::uint32_t i = 0; i < rows_[s].gotos; ++i) {
            const std::uint32_t lhs = gotoEntry(s, i).symbol;
            if (lhs < kFirstNonTerminal || lhs - kFirstNonTerminal >= kMaxIndexedSymbol) continue;
            if (!anyLhs || lhs > largestLhs) largestLhs = lhs;
            anyLhs = true;
        }
    }
    const std::uint32_t actionColumns = largestTerminal + 3;
    if (static_cast<std::uint64_t>(actionColumns) * stateCount_ <= kMaxIndexCells) {
        actionColumns_ = actionColumns;
        actionIndex_.assign(static_cast<std::size_t>(actionColumns) * stateCount_, 0);
        for (std::uint32_t s = 0; s < stateCount_; ++s) {
            for (std::uint32_t i = 0; i < rows_[s].actions; ++i) {
                const std::uint32_t column = actionColumn(action(s, i).symbol);
                if (column == kNoColumn) continue;
                std::uint32_t& cell = actionIndex_[static_cast<std::size_t>(s) * actionColumns_ + column];
                if (cell == 0) cell = i + 1;
            }
        }
    }
    const std::uint32_t gotoColumns = anyLhs ? largestLhs - kFirstNonTerminal + 1 : 0;
    if (gotoColumns > 0 && static_cast<std::uint64_t>(gotoColumns) * stateCount_ <= kMaxIndexCells) {
        gotoColumns_ = gotoColumns;
        gotoIndex_.assign(static_cast<std::size_t>(gotoColumns) * stateCount_, 0);
        for (std::uint32_t s = 0; s < stateCount_; ++s) {
            for (std::uint32_t i = 0; i < rows_[s].gotos; ++i) {
                const std::uint32_t column = gotoColumn(gotoEntry(s, i).symbol);
                if (column == kNoColumn) continue;
                std::uint32_t& cell = gotoIndex_[static_cast<std::size_t>(s) * gotoColumns_ + column];
                if (cell == 0) cell = i + 1;
            }
        }
    }
}

bool SSParseTables::findAction(std::uint32_t state, std::uint32_t token, SSParseEntry& entry) const {
    if (state >= stateCount_) return false;
    const std::uint32_t column = actionColumn(token);
    if (column != kNoColumn) {
        const std::uint32_t cell = actionIndex_[static_cast<std::size_t>(state) * actionColumns_ + column];
        if (cell == 0) return false;
        entry = action(state, cell - 1);
        return true;
    }
    const std::uint32_t count = rows_[state].actions;
    for (std::uint32_t i = 0; i < count; ++i) {
        const SSParseEntry candidate = action(state, i);
        if (candidate.symbol == token) {
            entry = candidate;
            return true;
        }
    }
    return false;
}

bool SSParseTables::findGoto(std::uint32_t state, std::uint32_t lhs, std::uint32_t& target) const {
    if (state >= stateCount_) return false;
    const std::uint32_t column = gotoColumn(lhs);
    if (column != kNoColumn) {
        const std::uint32_t cell = gotoIndex_[static_cast<std::size_t>(state) * gotoColumns_ + column];
        if (cell == 0) return false;
        target = gotoEntry(state, cell - 1).value;
        return true;
    }
    const std::uint32_t count = rows_[state].gotos;
    for (std::uint32_t i = 0; i < count; ++i) {
        const SSParseEntry candidate = gotoEntry(state, i);
        if (candidate.symbol == lhs) {
            target = candidate.value;
            return true;
        }
    }
    return false;
}

bool SSParseTables::layOut(std::size_t& automataOffset) {
    const std::uint64_t tableBytes = words_.size() * 4ULL;
    const bool stored = words_[kYaccMagicWord] != kYaccPacked;
    std::uint64_t cursor = words_[kYaccFirstRow];
    if (cursor > tableBytes) return false;
    rows_.assign(stateCount_, Row{});
    for (std::uint32_t s = 0; s < stateCount_; ++s) {
        const std::uint64_t at = stored ? words_[kYaccRowOffsets + s] : cursor;
        if (at % 4 != 0 || !Fits(at, kYaccRowHeaderBytes, tableBytes)) return false;
        const std::uint32_t* header = &words_[at / 4];
        Row row;
        row.start = static_cast<std::uint32_t>(at / 4);
        std::uint64_t rowBytes = kYaccRowHeaderBytes;
        if ((header[0] & kRowEmpty) == 0) {
            row.gotos = header[1];
            row.actions = header[2];
            row.hasError = (header[0] & kRowErrorEntry) != 0;
            rowBytes +=
                kYaccEntryBytes * (static_cast<std::uint64_t>(row.actions) + row.gotos + (row.hasError ? 1 : 0));
            if (!Fits(at, rowBytes, tableBytes)) return false;
        }
        rows_[s] = row;
        cursor += rowBytes;
        if (cursor > tableBytes) return false;
    }
    automataOffset = static_cast<std::size_t>(cursor);
    return true;
}

bool SSParseTables::checkEntries() const {
    const std::uint32_t automata = words_[kYaccCounts] >> 16;
    for (std::uint32_t s = 0; s < stateCount_; ++s) {
        const Row& row = rows_[s];
        for (std::uint32_t i = 0; i < row.actions; ++i) {
            const std::uint32_t word = action(s, i).value;
            const std::uint32_t value = word & kActionValueMask;
            if ((word & kActionShift) != 0) {
                if (value >= stateCount_) return false;
            } else if ((word & kActionReduce) != 0) {
                if (value >= productionCount_) return false;
            } else if ((word & kActionAccept) != 0) {
            } else if ((word & kActionLookahead) != 0) {
                if (value >= automata) return false;
            }
        }
        for (std::uint32_t i = 0; i < row.gotos; ++i) {
            if ((gotoEntry(s, i).value & kActionValueMask) >= stateCount_) return false;
        }
        std::uint32_t target = 0;
        if (errorState(s, target) && target >= stateCount_) return false;
    }
    return true;
}

SSProduction SSParseTables::production(std::uint32_t index) const {
    if (index >= productionCount_) return {};
    const std::uint32_t* p = &words_[productionStart_ + 2 * index];
    return {p[0], p[1]};
}

std::uint32_t SSParseTables::rowFlags(std::uint32_t state) const {
    return state < stateCount_ ? words_[rows_[state].start] : 0;
}

std::uint32_t SSParseTables::actionCount(std::uint32_t state) const {
    return state < stateCount_ ? rows_[state].actions : 0;
}

std::uint32_t SSParseTables::gotoCount(std::uint32_t state) const {
    return state < stateCount_ ? rows_[state].gotos : 0;
}

SSParseEntry SSParseTables::action(std::uint32_t state, std::uint32_t index) const {
    if (state >= stateCount_ || index >= rows_[state].actions) return {};
    const std::uint32_t* e = &words_[rows_[state].start + 3 + 2 * index];
    return {e[0], e[1]};
}

SSParseEntry SSParseTables::gotoEntry(std::uint32_t state, std::uint32_t index) const {
    if (state >= stateCount_ || index >= rows_[state].gotos) return {};
    const Row& row = rows_[state];
    const std::uint32_t* e = &words_[row.start + 3 + 2 * (row.actions + index)];
    return {e[0], e[1]};
}

bool SSParseTables::errorState(std::uint32_t state, std::uint32_t& target) const {
    if (state >= stateCount_ || !rows_[state].hasError) return false;
    const Row& row = rows_[state];
    target = words_[row.start + 3 + 2 * (row.actions + row.gotos)];
    return true;
}

std::uint32_t SSParseTables::rowOffset(std::uint32_t state) const {
    return state < stateCount_ ? rows_[state].start * 4 : 0;
}

const SSLexExpressionList* SSParseTables::automaton(std::uint32_t index) const {
    return index < automata_.size() ? automata_[index].get() : nullptr;
}
