#pragma once
// Request message 1: the CGI environment as the engine's reader expects it.

#include <string>
#include <string_view>

namespace ksml {

// Appends "NAME=VALUE" and its NUL. Entries of any length are kept whole.
void AppendEnvironmentEntry(std::string& block, std::string_view name, std::string_view value);

// Every entry of `environment` (a NULL-terminated NAME=VALUE list) in its order, each closed
// by a NUL, one more NUL at the end. A non-empty SCRIPT_NAME is followed directly by an empty
// TS_TEMPLATE_PATH entry, the engine's cue to take the template from SCRIPT_NAME.
std::string BuildEnvironmentBlock(const char* const* environment);

}  // namespace ksml
