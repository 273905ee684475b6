// The engine's "SERVER" error line.
#pragma once

#include <string>

// text (at most 10000 characters) plus " Windows NT error number %ld occurred."
// when errorNumber is not 0, to the SERVER log at severity "Error".
void LogServerError(const std::string& text, long errorNumber);

// The line LogServerError writes, for callers that need the text itself.
std::string ServerErrorText(const std::string& text, long errorNumber);

// A request's own file (an upload, a body kept in a file) that could not be made, written or
// read: what the file was for, its path, and the error number with its words, so that the
// log says what failed where the visitor's page only says that something did.
void LogRequestFileError(const std::string& action, const std::string& role, const std::string& path,
                         long errorNumber);
