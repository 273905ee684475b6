// The request's random-number generator: the template's random functions step it. It is
// a plain linear congruential sequence, predictable by design, and must never serve as a
// source of secrets such as client tokens.
#pragma once

#include "engine/expressions/runtime_interface.h"

// Seeds on first use from the clock (seconds plus milliseconds), then
// value = ((value * 1103515245 + 12345) mod 2^32) mod 32767; returns 0..32766.
int NextRandom(CRandomState& state);
