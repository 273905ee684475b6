// The system's own log, for failures that happen before (or instead of) the
// program's log files.
#pragma once

namespace tessaro::platform {

// One error line "<label><text>" in the system log. Allocates nothing, so that it
// still works when memory has run out.
void WriteSystemLogError(const char* label, const char* text);

}  // namespace tessaro::platform
