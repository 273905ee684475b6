// Output for code that must not allocate (the engine's allocator): one write(2) of
// the bytes given, and the kernel's id of the calling thread.
#pragma once

#include <cstddef>

namespace tessaro::platform {

void WriteToStandardError(const char* text, std::size_t length);

long CurrentThreadId();

}  // namespace tessaro::platform
