// The largest text a built-in function may build. Functions that multiply their input
// (repetition, padding, replacement) run in the one engine process that every request
// shares, so a single call must not be able to take gigabytes of memory. The limit comes
// with the request: the runtime interface of each evaluation carries it.
#pragma once

#include <cstddef>

class CRuntimeInterface;
class CServerSettings;

inline constexpr std::size_t kDefaultMaxFunctionResultBytes = 16u * 1024u * 1024u;

// The limit of the evaluation (the default without a runtime).
std::size_t MaxFunctionResultBytes(const CRuntimeInterface* runtime);
// Server\MaxFunctionResultBytes; a missing, zero or negative value gives the default.
std::size_t ReadMaxFunctionResultBytes(CServerSettings* settings);

// Throws 0x400A when a result of `bytes` would pass the limit; `signature` names the
// function with its parameters, as the other argument messages do.
void CheckFunctionResultBytes(std::size_t limit, const char* signature, std::size_t bytes);
[[noreturn]] void ThrowFunctionResultTooLong(const char* signature, std::size_t limit);
