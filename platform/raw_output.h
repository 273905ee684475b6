// Output for code that must not allocate (the engine's allocator): one write(2) of
// the bytes given. The thread id comes from platform/process_ids.h, which allocates nothing.
#pragma once

#include <cstddef>

namespace tessaro::platform {

void WriteToStandardError(const char* text, std::size_t length);

}  // namespace tessaro::platform
