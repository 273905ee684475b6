// Threads whose stack size the program chooses. A thread made with std::thread gets the
// size the process's limits happen to give (the stack limit, or a small built-in size when
// that is unlimited); a request worker needs a known one, since the nesting bounds of the
// templates it runs are measured against it.
#pragma once

#include <cstddef>
#include <functional>

namespace tessaro::platform {

// Runs body on a new detached thread with a stack of stackBytes (rounded up to whole pages).
// Throws std::system_error, as std::thread does, when no thread can be made.
void StartDetachedThread(std::function<void()> body, std::size_t stackBytes);

}  // namespace tessaro::platform
