#include "engine/parser/ss_parse_check.h"

namespace {

// The innermost scope of this thread: each thread works for one request at a time.
thread_local SSParseCheckScope* t_current = nullptr;

}  // namespace

SSParseCheckScope::SSParseCheckScope(std::function<void()> check) : check_(std::move(check)), outer_(t_current) {
    t_current = this;
}

SSParseCheckScope::~SSParseCheckScope() {
    t_current = outer_;
}

void SSParseCheckScope::RunCurrent() {
    if (t_current != nullptr && t_current->check_) t_current->check_();
}
