// What the Windows error numbers the system reports mean, in a few words, for the messages a
// person reads (tsscm, the gateway's page, the engine's start from a shell): "error 1060 (the
// service does not exist)" rather than the bare number.
#pragma once

#include <string>

namespace tessaro::platform {

// The words for an error number, or null when the table has none.
const char* ErrorWords(long errorNumber);

// The number with its words in parentheses ("1060 (the service does not exist)"), or the
// bare number when the table has none.
std::string ErrorNumberWithWords(long errorNumber);

}  // namespace tessaro::platform
