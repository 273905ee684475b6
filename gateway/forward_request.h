#pragma once
// One KSML run: pack the request, hand it to the engine, relay the answer.

#include <functional>
#include <string>

#include "gateway/gateway_state.h"

namespace ksml {

// environment is the NULL-terminated NAME=VALUE list; the body comes from inputFd.
// False when the request could not be forwarded; the failures are in state.errors.
bool ForwardRequest(const char* const* environment, int inputFd, GatewayState& state);

// ForwardRequest, then either the end of the relayed reply or KSML's error page (with the
// administrator's address from adminEmail, asked only when a page is written).
void RunGateway(const char* const* environment, int inputFd, GatewayState& state,
                const std::function<std::string()>& adminEmail);

}  // namespace ksml
