#pragma once
// The Windows 95 road: the whole request in one WM_COPYDATA message to the engine window,
// the reply in a temporary file the engine fills, completion signalled on a descriptor
// passed with the message.

#include <cstdint>
#include <string>
#include <string_view>

#include "gateway/gateway_state.h"
#include "interfaces/copy_data_block.h"
#include "interfaces/engine_names.h"

namespace ksml {

using ::kEngineWindowClass;

// The block of interfaces/copy_data_block.h; empty when a length does not fit 32 bits.
inline std::string BuildCopyDataBlock(std::uint32_t completionHandle, std::string_view replyFile,
                                      std::string_view environment, std::string_view body) {
    return tessaro::interfaces::EncodeCopyDataBlock(completionHandle, replyFile, environment, body);
}

// Sends the request and relays the reply file. Waits at most the configured time for the
// engine; an engine that drops the request is noticed at once.
bool ForwardViaCopyData(std::string_view environment, std::string_view body, GatewayState& state);

}  // namespace ksml
