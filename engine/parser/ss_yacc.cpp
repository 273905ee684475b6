#include "engine/parser/ss_yacc.h"

#include <algorithm>

#include "engine/parser/ss_parse_check.h"

using namespace ss_layout;

namespace {

bool contains(const std::vector<std::uint32_t>& set, std::uint32_t token) {
    return std::find(set.begin(), set.end(), token) != set.end();
}

void addDistinct(std::vector<std::uint32_t>& set, std::uint32_t token) {
    if (!contains(set, token)) set.push_back(token);
}

}  // namespace

SSYacc::SSYacc(const char* tableFile) {
    if (tableFile != nullptr) {
        auto table = std::make_unique<SSParseTables>(tableFile);
        error_.takeOver(table->pendingError());
        if (table->valid()) setTable(std::move(table));
    }
    eofLexeme_ = ssShare(new SSToken(kEndOfInputToken, "eof", 3, -1, -1));
    stack_.push(ssShare(new SSParseStackEntry()));
}

SSYacc::~SSYacc() = default;

void SSYacc::reset() {
    errorFlag_ = 0;
    abort_ = 0;
    state_ = 0;
    shifts_ = 0;
    automaton_ = 0;
    lookahead_.reset();
    endOfInput_ = false;
    queue_.clear();
    production_ = 0;
    rhsLength_ = 0;
    lhs_ = 0;
    actionKind_ = kError;
    reduceRhsLength_ = 0;
    readFailed_ = false;
    reductionsSinceShift_ = 0;
    depthAtShift_ = 0;
    stack_.reset();
    stack_.push(ssShare(new SSParseStackEntry()));
    error_.clear();
    trace_ = nullptr;
}

void SSYacc::setTable(const SSParseTables* table) {
    ownedTable_.reset();
    table_ = table;
}

void SSYacc::setTable(std::unique_ptr<SSParseTables> table) {
    table_ = table.get();
    ownedTable_ = std::move(table);
}

SSRefPtr<SSToken> SSYacc::readNextToken() {
    if (lexer_ == nullptr) {
        readFailed_ = true;
        error_.raise(SSErrorLexerMissing);
        return {};
    }
    SSRefPtr<SSToken> lexeme = lexer_->nextToken();
    // A lexer error must not pass for the end of input.
    if (!lexeme && error_.takeOver(lexer_->pendingError())) readFailed_ = true;
    return lexeme;
}

SSRefPtr<SSParseStackEntry> SSYacc::stackElement() {
    return ssShare(new SSParseStackEntry());
}

SSRefPtr<SSParseStackEntry> SSYacc::shift(SSToken* /*lookahead*/) {
    return stackElement();
}

int SSYacc::onQueuedToken(SSToken* /*lexeme*/) {
    return 0;
}

int SSYacc::error(std::uint32_t /*state*/, SSToken* /*lookahead*/) {
    return recover();
}

int SSYacc::errorInLookahead(std::uint32_t state, SSToken* lookahead, SSToken* /*lookLexeme*/) {
    return error(state, lookahead);
}

bool SSYacc::pushElement(SSRefPtr<SSParseStackEntry> element) {
    if (maxStackDepth_ != 0 && stack_.count() >= maxStackDepth_) {
        error_.raise(SSErrorNestedTooDeeply, static_cast<long>(maxStackDepth_));
        return false;
    }
    return SSStackCall(error_, stack_, [&] { return stack_.push(std::move(element)); });
}

bool SSYacc::popElement() {
    return SSStackCall(error_, stack_, [&] { return stack_.pop(); });
}

std::uint32_t SSYacc::topState() {
    SSRefPtr<SSParseStackEntry>* top = SSStackCall(error_, stack_, [&] { return stack_.top(); });
    return top == nullptr ? kNoTransition : (*top)->state();
}

void SSYacc::lookupAction(std::uint32_t state, std::uint32_t token) {
    actionKind_ = kError;
    if (table_ == nullptr) return;
    SSParseEntry entry;
    if (table_->findAction(state, token, entry)) {
        const std::uint32_t word = entry.value;
        const std::uint32_t value = word & kActionValueMask;
        if ((word & kActionShift) != 0) {
            actionKind_ = kShift;
            state_ = value;
        } else if ((word & kActionReduce) != 0) {
            actionKind_ = kReduce;
            production_ = value;
            const SSProduction p = table_->production(value);
            rhsLength_ = p.rhsLength;
            lhs_ = p.lhs;
        } else if ((word & kActionAccept) != 0) {
            actionKind_ = kAccept;
        } else if ((word & kActionLookahead) != 0) {
            actionKind_ = kLookahead;
            automaton_ = value;
        }
        return;
    }
}

int SSYacc::nextLookahead() {
    if (SSRefPtr<SSToken> queued = queue_.dequeue()) {
        lookahead_ = queued;
        if (onQueuedToken(queued.get()) != 0) return 1;
        lookupAction(state_, queued->token());
        return 0;
    }
    if (endOfInput_) {
        error_.raise(SSErrorReadPastEof);
        return 1;
    }
    readFailed_ = false;
    SSRefPtr<SSToken> lexeme = readNextToken();
    if (!lexeme) {
        if (readFailed_) return 1;
        endOfInput_ = true;
        lexeme = eofLexeme_;
    }
    lookahead_ = lexeme;
    lookupAction(state_, lookahead_->token());
    return 0;
}

int SSYacc::restartLookahead() {
    queue_.clear();
    endOfInput_ = false;
    return nextLookahead();
}

SSRefPtr<SSToken> SSYacc::fetchToken() {
    if (SSRefPtr<SSToken> queued = queue_.dequeue()) return queued;
    readFailed_ = false;
    return readNextToken();
}

int SSYacc::parse() {
    if (table_ == nullptr) {
        error_.raise(SSErrorTableMissing);
        return 1;
    }
    if (nextLookahead() != 0) return 1;
    reductionsSinceShift_ = 0;
    depthAtShift_ = stack_.count();
    for (;;) {
        if (abort_ != 0) return 1;
        if (++stepsToCheck_ >= SSParseCheckScope::kStepsPerCheck) {
            stepsToCheck_ = 0;
            SSParseCheckScope::RunCurrent();
        }
        switch (actionKind_) {
            case kShift:
                if (doShift() != 0) return 1;
                break;
            case kReduce:
                if (doReduce() != 0) return 1;
                break;
            case kAccept:
                return errorFlag();
            case kError:
            case kLookahead: {
                // Recovery that reports success but changes nothing would loop for ever.
                const ActionKind kind = actionKind_;
                const std::uint32_t state = state_;
                const SSToken* look = lookahead_.get();
                const std::uint32_t depth = stack_.count();
                const std::uint32_t automaton = automaton_;
                const std::uint32_t queued = queue_.pending();
                if (kind == kError) {
                    errorFlag_ = 1;
                    if (error(state_, lookahead_.get()) != 0) return 1;
                    shifts_ = 0;
                } else {
                    if (resolveByAutomaton() != 0) return 1;
                }
                if (actionKind_ == kind && state_ == state && lookahead_.get() == look && stack_.count() == depth &&
                    automaton_ == automaton && queue_.pending() == queued) {
                    error_.raise(SSErrorNoValidToken);
                    return 1;
                }
                break;
            }
            default:
                error_.raise(SSErrorInvalidParseTable);
                return 1;
        }
    }
}

int SSYacc::doShift() {
    SSRefPtr<SSParseStackEntry> element = shift(lookahead_.get());
    if (!element) return 1;
    element->setLexeme(lookahead_.get());
    element->setState(state_);
    if (!pushElement(element)) return 1;
    if (trace_ != nullptr) trace_->push_back({lookahead_, 0, 0, state_});
    reductionsSinceShift_ = 0;
    depthAtShift_ = stack_.count();
    if (nextLookahead() != 0) return 1;
    ++shifts_;
    return 0;
}

int SSYacc::doReduce() {
    // A damaged table could reduce in a cycle without ever shifting; a sound one needs far
    // fewer steps than this between two shifts.
    const std::uint64_t limit = 4ULL * (depthAtShift_ + table_->stateCount()) + 64;
    if (++reductionsSinceShift_ > limit) {
        error_.raise(SSErrorInvalidParseTable);
        return 1;
    }
    // The action may read a new lookahead (a rewind), which looks up a new action: the
    // reduction in progress keeps its own numbers.
    const std::uint32_t production = production_;
    const std::uint32_t rhsLength = rhsLength_;
    const std::uint32_t lhs = lhs_;
    reduceRhsLength_ = rhsLength;
    SSRefPtr<SSParseStackEntry> element = reduce(production, rhsLength);
    if (!element) return 1;
    for (std::uint32_t i = 0; i < rhsLength; ++i) {
        if (!popElement()) return 1;
    }
    const std::uint32_t top = topState();
    if (top == kNoTransition) return 1;
    std::uint32_t target = kNoTransition;
    if (table_->findGoto(top, lhs, target)) target &= kActionValueMask;
    if (target == kNoTransition) {
        error_.raise(SSErrorInvalidGoto, static_cast<long>(lhs));
        return 1;
    }
    element->setState(target);
    if (!pushElement(element)) return 1;
    if (trace_ != nullptr) trace_->push_back({nullptr, production, rhsLength, target});
    state_ = target;
    lookupAction(target, lookahead_->token());
    return 0;
}

int SSYacc::replay(const SSParseTrace& trace) {
    for (const SSParseStep& step : trace) {
        if (abort_ != 0) return 1;
        if (++stepsToCheck_ >= SSParseCheckScope::kStepsPerCheck) {
            stepsToCheck_ = 0;
            SSParseCheckScope::RunCurrent();
        }
        SSRefPtr<SSParseStackEntry> element;
        if (step.lexeme) {
            element = shift(step.lexeme.get());
            if (!element) return 1;
            element->setLexeme(step.lexeme.get());
        } else {
            reduceRhsLength_ = step.rhsLength;
            element = reduce(step.production, step.rhsLength);
            if (!element) return 1;
            for (std::uint32_t i = 0; i < step.rhsLength; ++i) {
                if (!popElement()) return 1;
            }
        }
        element->setState(step.state);
        if (!pushElement(element)) return 1;
        state_ = step.state;
    }
    return errorFlag();
}

int SSYacc::resolveByAutomaton() {
    const SSLexExpressionList* automaton = table_->automaton(automaton_);
    if (automaton == nullptr) {
        error_.raise(SSErrorInvalidParseTable);
        return 1;
    }
    std::uint32_t at = automaton->next(0, lookahead_->token());
    SSToken* look = nullptr;
    std::uint32_t k = 0;
    bool failed = at == kNoTransition;
    while (!failed && (automaton->record(at).flags & kLexAccepting) == 0) {
        look = queue_.peek(k);
        if (look == nullptr) {
            if (endOfInput_) {
                failed = true;
                break;
            }
            readFailed_ = false;
            SSRefPtr<SSToken> lexeme = readNextToken();
            if (!lexeme) {
                if (readFailed_) return 1;
                endOfInput_ = true;
                lexeme = eofLexeme_;
            }
            queue_.enqueue(lexeme);
            look = lexeme.get();
        }
        ++k;
        at = automaton->next(at, look->token());
        failed = at == kNoTransition;
    }
    if (failed) {
        errorFlag_ = 1;
        if (errorInLookahead(state_, lookahead_.get(), look) != 0) return 1;
        shifts_ = 0;
        return 0;
    }
    const SSLexRecord record = automaton->record(at);
    if ((record.flags & kLexReduce) != 0) {
        if (record.token >= table_->productionCount()) {
            error_.raise(SSErrorInvalidParseTable);
            return 1;
        }
        actionKind_ = kReduce;
        production_ = record.token;
        const SSProduction p = table_->production(record.token);
        rhsLength_ = p.rhsLength;
        lhs_ = p.lhs;
    } else {
        if (record.token >= table_->stateCount()) {
            error_.raise(SSErrorInvalidParseTable);
            return 1;
        }
        actionKind_ = kShift;
        state_ = record.token;
    }
    return 0;
}

int SSYacc::recover() {
    if (table_ == nullptr) return 1;
    std::vector<std::uint32_t> resumable;
    for (std::uint32_t i = 0; i < stack_.count(); ++i) {
        const std::uint32_t state = stack_.entries()[stack_.count() - 1 - i]->state();
        const std::uint32_t flags = table_->rowFlags(state);
        const std::uint32_t actions = table_->actionCount(state);
        for (std::uint32_t a = 0; a < actions; ++a) {
            const SSParseEntry entry = table_->action(state, a);
            if ((flags & kRowRecoverAll) != 0 ||
                ((flags & kRowRecoverMarked) != 0 && (entry.value & kActionRecover) != 0)) {
                addDistinct(resumable, entry.symbol);
            }
        }
        std::uint32_t errorTarget = 0;
        if ((flags & kRowErrorEntry) != 0 && table_->errorState(state, errorTarget)) {
            const std::uint32_t count = table_->actionCount(errorTarget);
            for (std::uint32_t a = 0; a < count; ++a) {
                addDistinct(resumable, table_->action(errorTarget, a).symbol);
            }
        }
    }
    if (resumable.empty()) {
        error_.raise(SSErrorNoValidToken);
        return 1;
    }

    while (!contains(resumable, lookahead_->token())) {
        if (endOfInput_ && queue_.pending() == 0) {
            error_.raise(SSErrorRecoveryEof);
            return 1;
        }
        SSRefPtr<SSToken> lexeme = fetchToken();
        if (!lexeme) {
            if (readFailed_) return 1;
            endOfInput_ = true;
            lexeme = eofLexeme_;
        }
        lookahead_ = lexeme;
    }

    const std::uint32_t token = lookahead_->token();
    for (;;) {
        const std::uint32_t state = topState();
        if (state == kNoTransition) return 1;
        const std::uint32_t flags = table_->rowFlags(state);
        std::uint32_t errorTarget = 0;
        if ((flags & kRowErrorEntry) != 0 && table_->errorState(state, errorTarget)) {
            state_ = errorTarget;
            lookupAction(errorTarget, token);
            if (actionKind_ != kError) {
                SSRefPtr<SSParseStackEntry> element = stackElement();
                if (!element) return 1;
                element->setLexeme(new SSToken(kErrorToken, "%error", 6, 0, 0));
                element->setState(errorTarget);
                if (!pushElement(element)) return 1;
                return 0;
            }
        }
        if ((flags & kRowRecoverAll) != 0) {
            state_ = state;
            lookupAction(state, token);
            if (actionKind_ != kError) return 0;
        }
        if ((flags & kRowRecoverMarked) != 0) {
            const std::uint32_t actions = table_->actionCount(state);
            for (std::uint32_t a = 0; a < actions; ++a) {
                if (table_->action(state, a).symbol == token) {
                    state_ = state;
                    lookupAction(state, token);
                    return 0;
                }
            }
        }
        if (stack_.count() <= 1) {
            state_ = state;
            actionKind_ = kError;
            error_.raise(SSErrorNoValidToken);
            return 1;
        }
        if (!popElement()) return 1;
        state_ = topState();
    }
}

SSParseStackEntry* SSYacc::elementFromProduction(std::uint32_t index) {
    if (index >= reduceRhsLength_) {
        error_.raise(SSErrorInvalidElementIndex, static_cast<long>(index));
        return nullptr;
    }
    SSRefPtr<SSParseStackEntry>* entry =
        SSStackCall(error_, stack_, [&] { return stack_.at(reduceRhsLength_ - 1 - index); });
    return entry == nullptr ? nullptr : entry->get();
}

std::vector<std::uint32_t> SSYacc::expectedTokens(std::uint32_t state) {
    if (table_ == nullptr || state >= table_->stateCount()) {
        error_.raise(SSErrorInvalidState, static_cast<long>(state));
        return {};
    }
    std::vector<std::uint32_t> tokens;
    const std::uint32_t count = table_->actionCount(state);
    tokens.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) tokens.push_back(table_->action(state, i).symbol);
    return tokens;
}
