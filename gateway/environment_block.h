#pragma once
// Request message 1: the CGI environment as the engine's reader expects it
// (interfaces/environment_block.h).

#include <string>
#include <string_view>

#include "interfaces/environment_block.h"

namespace ksml {

// Appends "NAME=VALUE" and its NUL (interfaces/environment_block.h).
using tessaro::interfaces::AppendEnvironmentEntry;

// Every entry of `environment` (a NULL-terminated NAME=VALUE list) in its order, each closed
// by a NUL, one more NUL at the end. A non-empty SCRIPT_NAME is followed directly by an empty
// TS_TEMPLATE_PATH entry, the engine's cue to take the template from SCRIPT_NAME.
std::string BuildEnvironmentBlock(const char* const* environment);

}  // namespace ksml
