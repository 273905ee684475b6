#pragma once
// The engine's request socket ("\\.\PIPE\Tessaro\StubToServer20" below the runtime root):
// connecting with the busy and start-the-service rules, sending the request messages and
// relaying the reply frames.

#include <string>
#include <string_view>

#include "gateway/gateway_state.h"

namespace ksml {

// The engine's request socket (platform::RequestSocketPath).
std::string ServerPipePath();

// A connected socket, or -1 after the failure has been reported. While the engine is busy
// (its backlog is full) waits and retries; when there is no socket, starts the engine service
// once (ending a wedged engine and trying again when the start fails).
int OpenServerPipe(GatewayState& state);

// One request message.
bool SendPipeRequest(int pipe, std::string_view data, GatewayState& state);

// Copies the reply messages through the relay until the engine's disconnect. A connection
// closed without it means the engine dropped the request (error 109, "Server busy").
bool RelayPipeReply(int pipe, GatewayState& state);

}  // namespace ksml
