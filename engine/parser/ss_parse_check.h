#pragma once
// The check every parse on this thread runs now and then (every kStepsPerCheck steps of its
// loop): the clock of the request the thread works for, so that parsing and evaluating, which
// happen in the parse's reductions however deeply evaluations nest, draw on the request's
// time. The check may throw, which ends the parse (and every parse it is nested in).
// A scope installs it for a stretch of work; scopes nest, the innermost one counts.

#include <cstdint>
#include <functional>

class SSParseCheckScope {
public:
    static constexpr std::uint32_t kStepsPerCheck = 1024;

    explicit SSParseCheckScope(std::function<void()> check);
    ~SSParseCheckScope();
    SSParseCheckScope(const SSParseCheckScope&) = delete;
    SSParseCheckScope& operator=(const SSParseCheckScope&) = delete;

    // Runs the check of this thread's innermost scope; nothing without one.
    static void RunCurrent();

private:
    std::function<void()> check_;
    SSParseCheckScope* outer_;
};
