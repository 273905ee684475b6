// Requests that arrive as a window message with a reply file (the Windows 95 road).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/server/request_worker.h"
#include "interfaces/copy_data_block.h"
#include "platform/window.h"

// The block is interfaces/copy_data_block.h's.
using tessaro::interfaces::kCopyDataHeaderSize;

// Takes the request when listening and the sender is who it says; otherwise the
// message is ignored (the descriptor is closed unsignalled, which the sender sees).
std::int64_t OnCopyData(tessaro::platform::WindowMessage& message, bool listening, const RequestRoad& road);
