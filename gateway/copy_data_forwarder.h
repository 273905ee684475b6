#pragma once
// The Windows 95 road: the whole request in one WM_COPYDATA message to the engine window,
// the reply in a temporary file the engine fills, completion signalled on a descriptor
// passed with the message.

#include <cstdint>
#include <string>
#include <string_view>

#include "gateway/gateway_state.h"

namespace ksml {

inline constexpr const char* kEngineWindowClass = "TessaroWClass20";

// The block: {u32 completion handle, u32 A, u32 B, u32 C} then the reply file name (A bytes),
// the environment block (B) and the body (C). Empty when a length does not fit 32 bits.
std::string BuildCopyDataBlock(std::uint32_t completionHandle, std::string_view replyFile, std::string_view environment,
                               std::string_view body);

// Sends the request and relays the reply file. Waits at most the configured time for the
// engine; an engine that drops the request is noticed at once.
bool ForwardViaCopyData(std::string_view environment, std::string_view body, GatewayState& state);

}  // namespace ksml
