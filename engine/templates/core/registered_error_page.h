// An error page a template registers with TSERROR: the family fills it as the tag is read,
// the template run renders it when validation or the request fails.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "engine/expressions/function_result_limit.h"
#include "platform/checked_file.h"

class CErrorPageSpec {
public:
    enum Kind { None = 0, Validation = 1, Request = 2 };

    Kind kind = None;
    std::string templatePath;
    std::string mailTo;
    // How the file is judged when Render opens it (where it must lie); empty: the runtime
    // root's private files alone (the tag that names the file always sets it).
    tessaro::platform::OpenedObjectCheck fileCheck;
    // The largest file Render reads: no larger than a variable (Server\MaxFunctionResultBytes).
    std::size_t maxBytes = kDefaultMaxFunctionResultBytes;

    void Reset() { *this = CErrorPageSpec(); }
    // "VALIDATION" or "REQUEST" in any case; anything else throws "Invalid TSERROR Tag".
    void SetErrorType(const std::string& value);

    // The error template's text with every placeholder of substitutions (and
    // #ERROR.MAILTO#) replaced, matched without regard to case. Values that come
    // from the request are HTML-escaped; the engine's own HTML parts
    // (#ERROR.DIAGNOSTICS# and the validation header, fields and footer) are not.
    // A file that cannot be read throws CMappedFileException*.
    std::string Render(const std::map<std::string, std::string>& substitutions) const;
};
