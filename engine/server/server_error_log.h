// The engine's "SERVER" error line.
#pragma once

#include <string>

// text (at most 10000 characters) plus " Windows NT error number %ld occurred."
// when errorNumber is not 0, to the SERVER log at severity "Error".
void LogServerError(const std::string& text, long errorNumber);

// The line LogServerError writes, for callers that need the text itself.
std::string ServerErrorText(const std::string& text, long errorNumber);
