// TSPARAM (a required parameter or its default) and TSERROR (the application's
// own error pages) with the rendering of such a page.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>

#include "engine/expressions/function_result_limit.h"
#include "platform/checked_file.h"

struct ParamTagState {
    std::string name;
    std::string defaultValue;
    bool hasDefault = false;

    void Reset() { *this = ParamTagState(); }
    void SetDefault(const std::string& value) {
        defaultValue = value;
        hasDefault = true;
    }
};

// TSPARAM's end. lookup throws (any CException*) when the name resolves to
// nothing; then the default is stored with assign, or, without one, the request
// fails with "Required parameter <B>name</B> not found".
void ExecuteParam(const ParamTagState& state, const std::function<void(const std::string&)>& lookup,
                  const std::function<void(const std::string&, const std::string&)>& assign);

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

// TSERROR's end: registers building as the validation or request page by its
// kind (none: nothing), then clears it. Throws when it has no template.
void ExecuteErrorTag(CErrorPageSpec& building, CErrorPageSpec& validationPage, CErrorPageSpec& requestPage);
