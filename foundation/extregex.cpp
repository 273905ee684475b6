#include "foundation/extregex.h"

#include "foundation/extregex_machine.h"

RWCExtRegex::RWCExtRegex(const char* pattern)
    : machine_(std::make_unique<RWExtRegexMachine>(RWCString(pattern ? pattern : ""))) {}

RWCExtRegex::RWCExtRegex(const RWCString& pattern) : machine_(std::make_unique<RWExtRegexMachine>(pattern)) {}

RWCExtRegex::RWCExtRegex(const RWCExtRegex& other)
    : machine_(std::make_unique<RWExtRegexMachine>(other.machine_->pattern_)) {}

RWCExtRegex& RWCExtRegex::operator=(const RWCExtRegex& other) {
    if (this != &other) machine_ = std::make_unique<RWExtRegexMachine>(other.machine_->pattern_);
    return *this;
}

RWCExtRegex::~RWCExtRegex() = default;

int RWCExtRegex::status() const {
    return machine_->status_;
}

void RWCExtRegex::checkCompile() const {
    const int s = machine_->status_;
    if (s != OK && s != NOMATCH)
        throw CRWInterfaceException(statusMessage(s, machine_->pattern_), CRWInterfaceException::kCode);
}

const RWCString& RWCExtRegex::pattern() const {
    return machine_->pattern_;
}
bool RWCExtRegex::usesSimpleEngine() const {
    return machine_->simple_ != nullptr;
}
std::size_t RWCExtRegex::stateCount() const {
    return machine_->states_.size();
}
std::size_t RWCExtRegex::groupCount() const {
    return machine_->groups_.size();
}

std::size_t RWCExtRegex::search(const RWCString& text, std::size_t* extent, std::size_t start) const {
    const RWExtRegexMachine& m = *machine_;
    if (m.simple_) return m.simple_->search(text, extent, start);
    if (extent) *extent = RW_NPOS;
    const std::size_t n = text.length();
    if (start > n) return RW_NPOS;
    std::size_t s = 0;
    std::size_t e = 0;
    const unsigned char* part = reinterpret_cast<const unsigned char*>(text.data()) + start;
    if (!m.run(part, n - start, s, e)) {
        if (m.valid_) m.status_ = NOMATCH;
        return RW_NPOS;
    }
    if (extent) *extent = e - s;
    return start + s;
}
