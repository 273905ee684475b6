// The largest text a built-in function may build. Functions that multiply their input
// (repetition, padding, replacement) run in the one engine process that every request
// shares, so a single call must not be able to take gigabytes of memory.
#pragma once

#include <cstddef>

class CServerSettings;

inline constexpr std::size_t kDefaultMaxFunctionResultBytes = 16u * 1024u * 1024u;

std::size_t MaxFunctionResultBytes();
// 0 restores the default.
void SetMaxFunctionResultBytes(std::size_t bytes);
// Server\MaxFunctionResultBytes; a missing, zero or negative value gives the default.
void LoadMaxFunctionResultBytes(CServerSettings* settings);

// Throws 0x400A when a result of `bytes` would pass the limit; `signature` names the
// function with its parameters, as the other argument messages do.
void CheckFunctionResultBytes(const char* signature, std::size_t bytes);
[[noreturn]] void ThrowFunctionResultTooLong(const char* signature);
