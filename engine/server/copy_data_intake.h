// Requests that arrive as a window message with a reply file (the Windows 95 road).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/window.h"

class CRequestDispatcher;
class RequestLimiter;

// The block: u32 completion descriptor slot, u32 A, u32 B, u32 C, then A bytes
// of reply file name, B of environment and C of body.
inline constexpr std::size_t kCopyDataHeaderSize = 16;

// Takes the request when listening and the sender is who it says; otherwise the
// message is ignored (the descriptor is closed unsignalled, which the sender sees).
std::int64_t OnCopyData(tessaro::platform::WindowMessage& message, bool listening, CRequestDispatcher& dispatcher,
                        RequestLimiter* limiter);
