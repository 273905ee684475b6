#include "engine/server/server_error_log.h"

#include "platform/error_words.h"
#include "support/trace_log.h"

std::string ServerErrorText(const std::string& text, long errorNumber) {
    std::string line = text.size() > 10000 ? text.substr(0, 10000) : text;
    if (errorNumber != 0) line += " Windows NT error number " + std::to_string(errorNumber) + " occurred.";
    return line;
}

void LogServerError(const std::string& text, long errorNumber) {
    WriteTraceLog("SERVER", "Error", ServerErrorText(text, errorNumber));
}

void LogRequestFileError(const std::string& action, const std::string& role, const std::string& path,
                         long errorNumber) {
    std::string text = "Error attempting to " + action + " the " + role + " '" + path + "'";
    if (const char* words = tessaro::platform::ErrorWords(errorNumber)) text += std::string(" (") + words + ")";
    LogServerError(text + ".", errorNumber);
}
