#include "engine/expressions/expression_log.h"

#include "support/trace_log.h"

namespace {
thread_local ExpressionLogObserver t_observer = nullptr;
}

void SetExpressionLogObserver(ExpressionLogObserver observer) {
    t_observer = observer;
}

void LogExpressionError(const char* source, const char* text) {
    const char* where = source ? source : "";
    const char* what = text ? text : "";
    if (t_observer != nullptr) t_observer(where, what);
    try {
        WriteTraceLog("ExprParser", where, what, 0);
    } catch (...) {
        // The log must never turn one failure into another.
    }
}
