// Small pieces the function families share: argument access, the parameter message of the
// argument checks, and the refusal of numbers that are not finite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/expressions/function_registry.h"
#include "support/web_message.h"

class CRuntimeFileGate;

// The argument at a 0-based position (the count was checked before DoIt).
inline ExprYaccStackElement* Argument(CExprArgumentList* arguments, std::size_t index) {
    return (*arguments)[index];
}

// 0x400A "Parameter <n> of function <name> which is now "<text>" must be <words>".
[[noreturn]] void ThrowParameterError(const CTSFunction& function, unsigned position, ExprYaccStackElement* argument,
                                      const CWebMessage& words);

// 0x4009 "The function <name> takes at most 2 arguments; You have called it with <n> arguments".
void CheckAtMostTwoArguments(const CTSFunction& function, CExprArgumentList* arguments);

// AsReal of the argument; a value that is not finite (an overflowed computation) is
// refused with the parameter message "a finite number".
double FiniteReal(const CTSFunction& function, unsigned position, ExprYaccStackElement* argument);

// AsInt of the argument; a real that is not finite (which AsInt would read as 0) is
// refused with the parameter message "a finite number".
std::int32_t FiniteInt(const CTSFunction& function, unsigned position, ExprYaccStackElement* argument);

// A computed real that is not finite is refused: 0x400A naming the function and the
// argument text it was computed from.
double CheckFiniteResult(const CTSFunction& function, ExprYaccStackElement* argument, double result);

// A real as "%g" would print it with that many significant digits, but with this
// system's own text: always two or more exponent digits, a period, no locale.
std::string FormatShortReal(double value, int precision = 6);

// The private files the call must not reach: the gate of the runtime, or without one (a
// runtime with no engine behind it) those of the runtime root alone.
const CRuntimeFileGate& FileGateOf(const CRuntimeInterface* runtime);
