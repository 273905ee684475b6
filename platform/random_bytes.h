// Bytes from the system's random source, for values others must not guess.
#pragma once

#include <cstddef>

namespace tessaro::platform {

// Fills all len bytes (waiting for the source to be ready); false when it cannot be read.
bool FillRandomBytes(void* buffer, std::size_t len);

}  // namespace tessaro::platform
