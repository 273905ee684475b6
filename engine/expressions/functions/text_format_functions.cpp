// Text transforms for output (paragraphs, HTML, URL encoding), query column lists,
// YesNoFormat and ParameterExists.
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"ParagraphFormat", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"HTMLEditFormat", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"HTMLCodeFormat", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"URLEncodedFormat", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"YesNoFormat", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"StripCR", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"ParameterExists", 1, PackArgTypes(12, 0, 0, 0), nullptr},
    {"ValueList", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"QuotedValueList", 1, PackArgTypes(2, 0, 0, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kTextFormatFunctions{kRows, std::size(kRows)};
