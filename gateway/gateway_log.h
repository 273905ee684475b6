#pragma once
// Where KSML's log lines go: the "KSML" trace log in the program, a recorder in tests.

#include <functional>
#include <string_view>

namespace ksml {

// severity is "Information", "Warning" or "Error".
using LogSink = std::function<void(std::string_view severity, std::string_view text)>;

}  // namespace ksml
