#include "engine/parser/ss_lex_tables.h"

#include "engine/parser/table_words.h"
#include "platform/resources.h"

using namespace ss_layout;
using ss_tables::Fits;

SSLexExpressionList::SSLexExpressionList(const void* bytes, std::size_t available, const char* name) {
    if (!load(bytes, available)) {
        words_.clear();
        rowStart_.clear();
        records_.clear();
        byteNext_.clear();
        stateCount_ = 0;
        error_.raise(SSErrorInvalidLexTable, name == nullptr ? "" : name);
        return;
    }
    valid_ = true;
}

bool SSLexExpressionList::load(const void* bytes, std::size_t available) {
    if (bytes == nullptr || available < kLexBlockHeaderBytes) return false;
    std::vector<std::uint32_t> header = ss_tables::CopyWords(bytes, kLexBlockHeaderBytes);
    std::uint32_t magic = header[kLexBlockMagic];
    if (magic != kLexMagic && magic != kLexBlockMagicAlt) return false;
    std::uint32_t size = header[kLexBlockSize];
    if (size < kLexBlockHeaderBytes || size % 4 != 0 || size > available) return false;
    words_ = ss_tables::CopyWords(bytes, size);

    const std::uint64_t states = words_[kLexBlockStateCount];
    const std::uint32_t rowOffsets = words_[kLexBlockRowOffsets];
    const std::uint32_t records = words_[kLexBlockAcceptRecords];
    if (states == 0) return false;
    if (rowOffsets % 4 != 0 || records % 4 != 0) return false;
    if (!Fits(records, states * kLexAcceptRecordBytes, size)) return false;
    if (!Fits(rowOffsets, states * 4, size)) return false;
    stateCount_ = static_cast<std::uint32_t>(states);
    recordStart_ = records / 4;

    rowStart_.resize(stateCount_);
    for (std::uint32_t s = 0; s < stateCount_; ++s) {
        std::uint32_t row = words_[rowOffsets / 4 + s];
        if (row % 4 != 0 || !Fits(row, 4, size)) return false;
        std::uint64_t count = words_[row / 4];
        if (!Fits(row + 4ULL, count * kLexTransitionWords * 4, size)) return false;
        const std::uint32_t first = row / 4 + 1;
        for (std::uint64_t t = 0; t < count; ++t) {
            std::uint32_t target = words_[first + t * kLexTransitionWords + 2];
            if (target != kNoTransition && target >= stateCount_) return false;
        }
        rowStart_[s] = row / 4;
    }
    buildIndex();
    return true;
}

void SSLexExpressionList::buildIndex() {
    records_.resize(stateCount_);
    for (std::uint32_t s = 0; s < stateCount_; ++s) {
        const std::uint32_t* r = &words_[recordStart_ + s * kLexAcceptRecordWords];
        records_[s] = {r[kLexRecordToken], r[kLexRecordList], r[kLexRecordFlags]};
    }
    // Larger lists (none of the engine's grammars) scan their rows.
    constexpr std::uint32_t kMaxIndexedStates = 8192;
    if (stateCount_ > kMaxIndexedStates) return;
    byteNext_.assign(static_cast<std::size_t>(stateCount_) * kIndexColumns, kNoState);
    for (std::uint32_t s = 0; s < stateCount_; ++s) {
        std::uint16_t* row = &byteNext_[static_cast<std::size_t>(s) * kIndexColumns];
        for (std::uint32_t c = 0; c < 256; ++c) {
            const std::uint32_t next = scanRow(s, c);
            if (next != kNoTransition) row[c] = static_cast<std::uint16_t>(next);
        }
        const std::uint32_t first = scanRow(s, kStartOfInput);
        if (first != kNoTransition) row[256] = static_cast<std::uint16_t>(first);
    }
}

std::uint32_t SSLexExpressionList::scanRow(std::uint32_t state, std::uint32_t character) const {
    const std::uint32_t row = rowStart_[state];
    const std::uint32_t count = words_[row];
    const std::uint32_t* t = &words_[row + 1];
    for (std::uint32_t i = 0; i < count; ++i, t += kLexTransitionWords) {
        if (t[0] > character) return kNoTransition;
        if (t[1] >= character) return t[2];
    }
    return kNoTransition;
}

SSLexStateTables::SSLexStateTables(const void* module, const char* name, const char* type)
    : name_(name == nullptr ? "" : name) {
    HRSRC resource = FindResourceA(module, name_.c_str(), type == nullptr ? "LEX" : type);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = LockResource(loaded);
    if (resource == nullptr || bytes == nullptr) {
        error_.raise(SSErrorLexResourceNotFound, name_.c_str());
        return;
    }
    std::size_t size = SizeofResource(module, resource);
    load(bytes, size);
    FreeResource(loaded);
}

SSLexStateTables::SSLexStateTables(const void* bytes, std::size_t size, const char* name)
    : name_(name == nullptr ? "" : name) {
    load(bytes, size);
}

void SSLexStateTables::load(const void* bytes, std::size_t size) {
    if (bytes == nullptr || size < kLexFileHeaderBytes) {
        error_.raise(SSErrorInvalidLexTable, name_.c_str());
        return;
    }
    header_ = ss_tables::CopyWords(bytes, kLexFileHeaderBytes);
    std::uint32_t magic = header_[kLexFileMagic];
    if (magic != 0 && magic != kLexMagic) {
        header_.clear();
        error_.raise(SSErrorInvalidLexTable, name_.c_str());
        return;
    }
    const std::uint32_t count = header_[kLexFileListCount];
    const auto* cursor = static_cast<const unsigned char*>(bytes) + kLexFileHeaderBytes;
    std::size_t left = size - kLexFileHeaderBytes;
    for (std::uint32_t i = 0; i < count; ++i) {
        // A list whose block is damaged raises from its own constructor; the error is taken
        // over here so that the table set reports it.
        std::unique_ptr<SSLexExpressionList> list;
        try {
            list = std::make_unique<SSLexExpressionList>(cursor, left, name_.c_str());
        } catch (const SSException&) {
            lists_.clear();
            header_.clear();
            throw;
        }
        if (!list->valid()) {
            error_.takeOver(list->pendingError());
            lists_.clear();
            header_.clear();
            return;
        }
        cursor += list->blockSize();
        left -= list->blockSize();
        lists_.push_back(std::move(list));
    }
    valid_ = true;
}

const SSLexExpressionList* SSLexStateTables::list(std::uint32_t index) const {
    return index < lists_.size() ? lists_[index].get() : nullptr;
}

const SSLexExpressionList* SSLexStateTables::expressionList(std::uint32_t index) {
    const SSLexExpressionList* result = list(index);
    if (result == nullptr) error_.raise(SSErrorInvalidListIndex, static_cast<long>(index));
    return result;
}
