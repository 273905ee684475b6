// Runs a call that is expected to throw the engine's CWebException and keeps
// what it said; an empty result means nothing was thrown.
#pragma once

#include <string>

#include "support/web_exception.h"

struct Thrown {
    std::string type;
    std::string message;
    std::string detail;
};

template <class F>
Thrown WebErrorOf(F f) {
    try {
        f();
    } catch (CWebException* e) {
        Thrown t{e->GetTypeName(), e->GetMessage(), e->GetDetail()};
        e->Delete();
        return t;
    }
    return {};
}
