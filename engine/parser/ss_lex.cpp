#include "engine/parser/ss_lex.h"

#include "engine/parser/ss_file_input_source.h"

using namespace ss_layout;

SSLex::SSLex(const char* fileName) {
    if (fileName != nullptr) attachFile(fileName);
}

SSLex::~SSLex() = default;

SSRefPtr<SSToken> SSLex::error(SSInputSource& source) {
    SSRefPtr<SSToken> lexeme = source.makeToken();
    error_.raiseLineOffsetText(SSErrorInvalidToken, lexeme->line(), lexeme->offset(), lexeme->text());
    return {};
}

const char* SSLex::tokenText(std::uint32_t /*token*/) {
    return "SSLexTokenNotFound";
}

SSRefPtr<SSToken> SSLex::onTokenAccepted(SSInputSource& source, std::uint32_t token, const SSAcceptPosition& accept) {
    return source.acceptToken(token, accept);
}

bool SSLex::attachFile(const char* name) {
    auto file = std::make_unique<SSFileInputSource>(name, SSInputText, SSFileInputSource::kWholeFile, 0);
    bool failed = error_.takeOver(file->pendingError());
    // Kept even after a failure (it then delivers nothing) so that it is not lost.
    setSource(std::move(file));
    return !failed;
}

void SSLex::setSource(SSInputSource* source, bool owns) {
    if (owns) {
        setSource(std::unique_ptr<SSInputSource>(source));
        return;
    }
    ownedSource_.reset();
    source_ = source;
}

void SSLex::setSource(std::unique_ptr<SSInputSource> source) {
    source_ = source.get();
    ownedSource_ = std::move(source);
}

void SSLex::setTables(const SSLexStateTables* tables) {
    ownedTables_.reset();
    tables_ = tables;
}

void SSLex::setTables(std::unique_ptr<SSLexStateTables> tables) {
    tables_ = tables.get();
    ownedTables_ = std::move(tables);
}

template <class F>
auto SSLex::onStack(F operation) -> decltype(operation()) {
    return SSStackCall(error_, lists_, operation);
}

std::uint32_t SSLex::currentExpressionList() const {
    return lists_.empty() ? kNoList : lists_.entries().back();
}

bool SSLex::makeTopCurrent() {
    // The stack's top is the current list: only its emptiness needs reporting.
    return onStack([&] { return lists_.top() != nullptr; });
}

bool SSLex::pushExpressionList(std::uint32_t index) {
    if (tables_ == nullptr || index >= tables_->listCount()) {
        error_.raise(SSErrorInvalidListIndex, static_cast<long>(index));
        return false;
    }
    return onStack([&] { return lists_.push(index); });
}

bool SSLex::popExpressionList() {
    if (!onStack([&] { return lists_.pop(); })) return false;
    return makeTopCurrent();
}

bool SSLex::switchExpressionList(std::uint32_t index) {
    if (tables_ == nullptr || index >= tables_->listCount()) {
        error_.raise(SSErrorInvalidListIndex, static_cast<long>(index));
        return false;
    }
    if (!onStack([&] { return lists_.pop(); })) return false;
    return onStack([&] { return lists_.push(index); });
}

void SSLex::replaceExpressionLists(const std::vector<std::uint32_t>& lists) {
    // In place: the stack's memory is kept (and it grows as it must, so no push fails).
    lists_.reset();
    for (std::uint32_t list : lists) lists_.push(list);
}

bool SSLex::isCurrentExpressionList(std::uint32_t index) {
    if (tables_ == nullptr || index >= tables_->listCount()) {
        error_.raise(SSErrorInvalidListIndex, static_cast<long>(index));
        return false;
    }
    return currentExpressionList() == index;
}

bool SSLex::stackAction(const SSLexRecord& record) {
    if ((record.flags & kLexSwitch) == kLexSwitch) return switchExpressionList(record.list);
    if ((record.flags & kLexPop) != 0) return popExpressionList();
    if ((record.flags & kLexPush) != 0) return pushExpressionList(record.list);
    return true;
}

SSRefPtr<SSToken> SSLex::nextToken() {
    if (error_.pending()) return {};
    if (tables_ == nullptr || source_ == nullptr) {
        error_.raise(SSErrorLexMissing);
        return {};
    }
    SSInputSource& source = *source_;
    SSInputState& s = source.state();
    const std::size_t unit = source.mode() == SSInputWide ? 2 : 1;
    for (;;) {
        const SSLexExpressionList* list = tables_->list(currentExpressionList());
        if (list == nullptr) {
            // No list pushed (or the stack was emptied): nothing to scan with.
            error_.raise(SSErrorLexMissing);
            return {};
        }
        std::uint32_t state = 0;
        SSLexRecord remembered = list->record(0);
        // Always from the current position: a stale accept position from an earlier token
        // could lie before the mark.
        accept_ = source.acceptPosition();
        bool readAny = false;
        // Characters read up to the accept position; the start-of-input value counts although
        // it does not move the position.
        std::uint64_t reads = 0;
        std::uint64_t readsAtAccept = 0;
        while (source.read()) {
            readAny = true;
            ++reads;
            if (s.shift != 0) {
                accept_.position -= s.shift < accept_.position ? s.shift : accept_.position;
                s.shift = 0;
            }
            std::uint32_t next = list->next(state, source.current());
            if (next == kNoTransition) break;
            state = next;
            SSLexRecord record = list->record(state);
            if ((record.flags & kLexAccepting) != 0) {
                remembered = record;
                accept_ = source.acceptPosition();
                readsAtAccept = reads;
            }
        }
        if (error_.takeOver(source.pendingError())) return {};
        if (!readAny) return {};

        if ((remembered.flags & kLexGiveBackLast) != 0 && accept_.position >= s.mark + unit) {
            accept_.position -= unit;
            --readsAtAccept;
            // Only a line feed given back takes a line with it.
            if (accept_.position < s.end && source.buffer()[accept_.position] == '\n' && accept_.newlines > 0) {
                --accept_.newlines;
            } else if (accept_.column > 1) {
                --accept_.column;
            }
        }

        // An empty match would scan the same place for ever: it counts as no match.
        const bool matched = (remembered.flags & kLexAccepting) != 0 && readsAtAccept > 0;
        if (!matched) {
            SSRefPtr<SSToken> handled = error(source);
            if (handled) return handled;
            if (error_.pending()) return {};
            source.skipToPosition();
            continue;
        }

        if ((remembered.flags & kLexDiscard) != 0) {
            s.mark = s.position = accept_.position;
            s.line += accept_.newlines;
            s.markColumn = s.column = accept_.column;
            s.newlines = 0;
            if (!stackAction(remembered) || error_.pending()) return {};
            continue;
        }

        ++tokenCount_;
        if (!stackAction(remembered) || error_.pending()) return {};
        if ((remembered.flags & kLexLeadingLineBreak) != 0 && s.line != 0 && s.markColumn != 0 &&
            s.mark + unit <= accept_.position) {
            s.mark += unit;
            s.line += 1;
            if (accept_.newlines > 0) --accept_.newlines;
            s.markColumn = 1;
        }
        SSRefPtr<SSToken> lexeme = onTokenAccepted(source, remembered.token, accept_);
        if (lexeme) return lexeme;
        if (error_.pending()) return {};
    }
}

void SSLex::reset() {
    setSource(nullptr, false);
    lists_.reset();
    error_.clear();
    tokenCount_ = 0;
    accept_ = {};
}

SSLexState SSLex::saveState() const {
    SSLexState saved;
    if (source_ != nullptr) saved.input = source_->state();
    saved.lists = lists_.entries();
    return saved;
}

bool SSLex::restoreState(const SSLexState& saved) {
    if (source_ == nullptr || !source_->restore(saved.input)) return false;
    lists_.assign(saved.lists);
    return true;
}
