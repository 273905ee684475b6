// TSPARAM (a required parameter or its default) and TSERROR (the application's
// own error pages, which the template run renders).
#pragma once

#include <functional>
#include <string>

#include "engine/templates/core/registered_error_page.h"

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

// TSERROR's end: registers building as the validation or request page by its
// kind (none: nothing), then clears it. Throws when it has no template.
void ExecuteErrorTag(CErrorPageSpec& building, CErrorPageSpec& validationPage, CErrorPageSpec& requestPage);
