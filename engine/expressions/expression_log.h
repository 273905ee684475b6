// The evaluator's error log: one line in the trace log of category "ExprParser",
// written before an internal fault is thrown. Never fails.
#pragma once

// source names the reporting operation ("COperatorManager::CheckOp").
void LogExpressionError(const char* source, const char* text);

// Tests watch the lines of their own thread through this hook; null turns it off.
using ExpressionLogObserver = void (*)(const char* source, const char* text);
void SetExpressionLogObserver(ExpressionLogObserver observer);
